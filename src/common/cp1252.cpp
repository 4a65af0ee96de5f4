#include "common/cp1252.h"

#include <QHash>

#include <array>
#include <cstring>

namespace vqs {
namespace {

// Bytes 0x80..0x9F. The five holes of the code page map to the C1 control of the same value,
// as Windows does, so that every byte survives a round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const QHash<char16_t, char>& reverseTable() {
    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> t;
        for (int i = 0; i < 32; ++i) t.insert(kHighControls[i], static_cast<char>(0x80 + i));
        return t;
    }();
    return table;
}

}  // namespace

QByteArray encodeCp1252(QStringView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.append(static_cast<char>(c));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;  // one code point, one replacement byte
            out.append('?');
            continue;
        }
        auto it = reverseTable().constFind(c);
        out.append(it == reverseTable().cend() ? '?' : *it);
    }
    return out;
}

QString decodeCp1252(QByteArrayView bytes) {
    QString out;
    out.resize(bytes.size());
    QChar* dst = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        dst[i] = (b >= 0x80 && b < 0xA0) ? QChar(kHighControls[b - 0x80]) : QChar(b);
    }
    return out;
}

void writeCp1252Field(char* field, int width, QStringView text) {
    QByteArray bytes = encodeCp1252(text);
    qsizetype n = std::min<qsizetype>(bytes.size(), width);
    std::memcpy(field, bytes.constData(), static_cast<size_t>(n));
    std::memset(field + n, ' ', static_cast<size_t>(width - n));
}

}  // namespace vqs
