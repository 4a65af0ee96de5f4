#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace vqs {

// Single-byte text of the files: Windows-1252. A character outside the code page becomes "?",
// one byte per character, so that no fixed-width field ever widens.
QByteArray encodeCp1252(QStringView text);
QString decodeCp1252(QByteArrayView bytes);

// Writes text into a fixed-width field: padded with spaces, cut at the width.
void writeCp1252Field(char* field, int width, QStringView text);

}  // namespace vqs
