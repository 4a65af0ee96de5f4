#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace vqs {

// The number at the start of a text, as switches and the "/W" delay read it: leading blanks
// skipped, the point as decimal separator, 0 for a text without a leading number.
double leadingNumber(QStringView text);

// A switch is on when its leading number is not 0.
inline bool switchIsOn(QStringView text) { return leadingNumber(text) != 0.0; }

// Numbers in stored settings: written in the user's locale (no group separators), read back
// in the user's locale or, failing that, with a decimal point, so that a changed locale
// never loses a value.
QString localeNumberText(double value);
QString localeNumberText(float value);
std::optional<double> parseLocaleNumber(QStringView text);

}  // namespace vqs
