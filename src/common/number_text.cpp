#include "common/number_text.h"

#include <QLocale>

#include <array>
#include <charconv>
#include <cmath>

namespace vqs {

double leadingNumber(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    QByteArray ascii;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ascii.append(char(text[i++].unicode()));
    bool digits = false;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 0x80) {
        ascii.append(char(text[i++].unicode()));
        digits = true;
    }
    if (i < text.size() && text[i] == u'.') {
        ascii.append('.');
        ++i;
        while (i < text.size() && text[i].unicode() < 0x80 && text[i].isDigit()) {
            ascii.append(char(text[i++].unicode()));
            digits = true;
        }
    }
    if (!digits) return 0.0;
    // An exponent counts only when digits follow it.
    if (i + 1 < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        QByteArray exp = "e";
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            exp.append(char(text[j++].unicode()));
        qsizetype start = j;
        while (j < text.size() && text[j].unicode() < 0x80 && text[j].isDigit())
            exp.append(char(text[j++].unicode()));
        if (j > start) ascii.append(exp);
    }
    bool ok = false;
    double v = ascii.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

namespace {

template <typename F>
QString shortestText(F value) {
    std::array<char, 64> buf{};
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    QString text = QString::fromLatin1(buf.data(), res.ptr - buf.data());
    QLocale loc;
    if (loc.decimalPoint() != QLatin1String("."))
        text.replace(QLatin1Char('.'), loc.decimalPoint());
    if (loc.negativeSign() != QLatin1String("-"))
        text.replace(QLatin1Char('-'), loc.negativeSign());
    return text;
}

}  // namespace

QString localeNumberText(double value) { return shortestText(value); }
QString localeNumberText(float value) { return shortestText(value); }

std::optional<double> parseLocaleNumber(QStringView text) {
    QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty()) return std::nullopt;
    bool ok = false;
    QLocale loc;
    loc.setNumberOptions(QLocale::RejectGroupSeparator);
    double v = loc.toDouble(trimmed, &ok);
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    if (!ok) v = c.toDouble(trimmed, &ok);
    if (!ok && trimmed.count(QLatin1Char(',')) == 1 && !trimmed.contains(QLatin1Char('.')))
        v = c.toDouble(QString(trimmed).replace(QLatin1Char(','), QLatin1Char('.')), &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace vqs
