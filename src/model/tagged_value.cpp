#include "model/tagged_value.h"

#include "common/cp1252.h"
#include "common/error.h"
#include "common/serial_date.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vqs {

TaggedValue TaggedValue::numeric(Tag tag, double value) {
    TaggedValue v;
    v.tag_ = tag;
    v.number_ = value;
    return v;
}
TaggedValue TaggedValue::null() { return numeric(kNull, 0); }
TaggedValue TaggedValue::int16(std::int16_t n) { return numeric(kInt16, n); }
TaggedValue TaggedValue::int32(std::int32_t n) { return numeric(kInt32, n); }
TaggedValue TaggedValue::single(float n) { return numeric(kSingle, n); }
TaggedValue TaggedValue::real(double n) { return numeric(kDouble, n); }
TaggedValue TaggedValue::date(double serial) { return numeric(kDate, serial); }
TaggedValue TaggedValue::text(QString s) {
    TaggedValue v;
    v.tag_ = kText;
    v.text_ = std::move(s);
    return v;
}
TaggedValue TaggedValue::boolean(bool b) {
    TaggedValue v;
    v.tag_ = kBoolean;
    v.bool_ = b;
    return v;
}
TaggedValue TaggedValue::list(std::vector<TaggedValue> items, std::int32_t lowerBound) {
    TaggedValue v;
    v.tag_ = kList;
    v.items_ = std::move(items);
    v.lowerBound_ = lowerBound;
    return v;
}

QString TaggedValue::toText() const {
    switch (tag_) {
        case kInt16:
        case kInt32:
            return QString::number(static_cast<qint64>(number_));
        case kSingle:
            return QString::number(static_cast<float>(number_), 'g', 7);
        case kDouble:
            return QString::number(number_, 'g', 15);
        case kDate: {
            QDateTime dt = dateTimeFromSerial(number_);
            return dt.isValid() ? dt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : QString();
        }
        case kText:
            return text_;
        case kBoolean:
            return bool_ ? QStringLiteral("True") : QStringLiteral("False");
        default:
            return {};
    }
}

bool TaggedValue::toBool() const {
    switch (tag_) {
        case kBoolean:
            return bool_;
        case kInt16:
        case kInt32:
        case kSingle:
        case kDouble:
        case kDate:
            return number_ != 0.0;
        case kText: {
            QString t = text_.trimmed();
            if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 ||
                t.compare(QLatin1String("Wahr"), Qt::CaseInsensitive) == 0)
                return true;
            bool ok = false;
            double n = t.toDouble(&ok);
            return ok && n != 0.0;
        }
        default:
            return false;
    }
}

bool operator==(const TaggedValue& a, const TaggedValue& b) {
    if (a.tag_ != b.tag_) return false;
    switch (a.tag_) {
        case TaggedValue::kText:
            return a.text_ == b.text_;
        case TaggedValue::kBoolean:
            return a.bool_ == b.bool_;
        case TaggedValue::kList:
            return a.lowerBound_ == b.lowerBound_ && a.items_ == b.items_;
        case TaggedValue::kEmpty:
        case TaggedValue::kNull:
            return true;
        default:
            return a.number_ == b.number_ || (std::isnan(a.number_) && std::isnan(b.number_));
    }
}

namespace {

constexpr int kMaxDepth = 16;

}  // namespace

void TaggedReader::checkDepth(int depth) const {
    if (depth > kMaxDepth)
        throw VqsError(
            QStringLiteral("Die Listen sind zu tief verschachtelt (Byte %1).").arg(pos_));
}

TaggedValue TaggedReader::value(int depth) {
    checkDepth(depth);
    const qsizetype at = pos_;
    const auto tag = u16();
    switch (tag) {
        case TaggedValue::kEmpty:
            return TaggedValue();
        case TaggedValue::kNull:
            return TaggedValue::null();
        case TaggedValue::kInt16:
            return TaggedValue::int16(static_cast<std::int16_t>(u16()));
        case TaggedValue::kInt32:
            return TaggedValue::int32(static_cast<std::int32_t>(u32()));
        case TaggedValue::kSingle: {
            std::uint32_t bits = u32();
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return TaggedValue::single(f);
        }
        case TaggedValue::kDouble:
            return TaggedValue::real(f64());
        case TaggedValue::kDate:
            return TaggedValue::date(f64());
        case TaggedValue::kText: {
            const std::uint16_t len = u16();
            need(len);
            QString s = decodeCp1252(QByteArrayView(here(), len));
            pos_ += len;
            return TaggedValue::text(std::move(s));
        }
        case TaggedValue::kBoolean:
            return TaggedValue::boolean(u16() != 0);
        case TaggedValue::kList: {
            const ListHeader header = listBody(at);
            std::vector<TaggedValue> items;
            // The count is only bounded by the bytes left: room grows with what is really read.
            items.reserve(static_cast<size_t>(std::min(header.count, 1024)));
            for (std::int32_t i = 0; i < header.count; ++i) items.push_back(value(depth + 1));
            return TaggedValue::list(std::move(items), header.lowerBound);
        }
        default:
            throw VqsError(QStringLiteral("Unbekannter Datentyp %1 bei Byte %2.").arg(tag).arg(at));
    }
}

std::optional<TaggedReader::ListHeader> TaggedReader::listHeader() {
    if (nextTag() != TaggedValue::kList) return std::nullopt;
    const qsizetype at = pos_;
    u16();
    return listBody(at);
}

std::optional<QByteArrayView> TaggedReader::textBytes() {
    if (nextTag() != TaggedValue::kText) return std::nullopt;
    u16();
    const std::uint16_t len = u16();
    need(len);
    const QByteArrayView text(here(), len);
    pos_ += len;
    return text;
}

std::uint16_t TaggedReader::nextTag() {
    if (size_ - pos_ < 2) return 0xFFFF;
    need(2);
    return qFromLittleEndian<std::uint16_t>(here());
}

void TaggedReader::skip(int depth) {
    checkDepth(depth);
    const qsizetype at = pos_;
    const auto tag = u16();
    switch (tag) {
        case TaggedValue::kEmpty:
        case TaggedValue::kNull:
            return;
        case TaggedValue::kInt16:
        case TaggedValue::kBoolean:
            return advance(2);
        case TaggedValue::kInt32:
        case TaggedValue::kSingle:
            return advance(4);
        case TaggedValue::kDouble:
        case TaggedValue::kDate:
            return advance(8);
        case TaggedValue::kText:
            return advance(u16());
        case TaggedValue::kList: {
            const ListHeader header = listBody(at);
            for (std::int32_t i = 0; i < header.count; ++i) skip(depth + 1);
            return;
        }
        default:
            throw VqsError(QStringLiteral("Unbekannter Datentyp %1 bei Byte %2.").arg(tag).arg(at));
    }
}

TaggedReader::ListHeader TaggedReader::listBody(qint64 at) {
    const std::uint16_t dims = u16();
    if (dims == 0) return {0, 0};
    if (dims != 1)
        throw VqsError(
            QStringLiteral("Liste mit %1 Dimensionen bei Byte %2 wird nicht unterstützt.")
                .arg(dims)
                .arg(at));
    const auto count = static_cast<std::int32_t>(u32());
    const auto lower = static_cast<std::int32_t>(u32());
    // Every element takes at least its two tag bytes: a count beyond that cannot be real.
    if (count < 0 || count > (size_ - pos_) / 2)
        throw VqsError(
            QStringLiteral("Ungültige Elementanzahl %1 bei Byte %2.").arg(count).arg(at));
    return {count, lower};
}

void TaggedReader::fetch(qint64 n) {
    if (n > size_ - pos_)
        throw VqsError(QStringLiteral("Die Datei endet unerwartet bei Byte %1.").arg(size_));
    // Bytes in memory are all at hand: only a source can come here with bytes left.
    window_ = source_->fetch(pos_, n);
    windowStart_ = pos_;
    if (window_.size() < n)  // the source ended before the size it was said to have
        throw VqsError(
            QStringLiteral("Die Datei endet unerwartet bei Byte %1.").arg(pos_ + window_.size()));
}
void TaggedReader::advance(qint64 n) {
    need(n);
    pos_ += n;
}
std::uint16_t TaggedReader::u16() {
    need(2);
    auto v = qFromLittleEndian<std::uint16_t>(here());
    pos_ += 2;
    return v;
}
std::uint32_t TaggedReader::u32() {
    need(4);
    auto v = qFromLittleEndian<std::uint32_t>(here());
    pos_ += 4;
    return v;
}
double TaggedReader::f64() {
    need(8);
    auto bits = qFromLittleEndian<std::uint64_t>(here());
    pos_ += 8;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

namespace {

template <typename T>
void appendLe(QByteArray& out, T v) {
    char buf[sizeof(T)];
    qToLittleEndian(v, buf);
    out.append(buf, sizeof(T));
}

void appendBits(QByteArray& out, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    appendLe(out, bits);
}
void appendBits(QByteArray& out, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    appendLe(out, bits);
}

}  // namespace

TaggedValue readTaggedValue(QByteArrayView data, qsizetype& pos) {
    TaggedReader r(data, pos);
    TaggedValue v = r.value();
    pos = r.pos();
    return v;
}

void writeTaggedText(QByteArray& out, QStringView text) {
    const QByteArray bytes = encodeCp1252(text);
    if (bytes.size() > std::numeric_limits<std::uint16_t>::max())
        throw VqsError(QStringLiteral("Ein Text ist mit %1 Zeichen zu lang.").arg(bytes.size()));
    appendLe(out, static_cast<std::uint16_t>(TaggedValue::kText));
    appendLe(out, static_cast<std::uint16_t>(bytes.size()));
    out.append(bytes);
}

void writeTaggedBoolean(QByteArray& out, bool value) {
    appendLe(out, static_cast<std::uint16_t>(TaggedValue::kBoolean));
    appendLe(out, static_cast<std::int16_t>(value ? -1 : 0));
}

void writeTaggedEmpty(QByteArray& out) {
    appendLe(out, static_cast<std::uint16_t>(TaggedValue::kEmpty));
}

void writeTaggedListHeader(QByteArray& out, std::int32_t count, std::int32_t lowerBound) {
    appendLe(out, static_cast<std::uint16_t>(TaggedValue::kList));
    appendLe(out, static_cast<std::uint16_t>(1));
    appendLe(out, count);
    appendLe(out, lowerBound);
}

void writeTaggedValue(QByteArray& out, const TaggedValue& value) {
    switch (value.tag()) {
        case TaggedValue::kText:
            return writeTaggedText(out, value.textValue());
        case TaggedValue::kBoolean:
            return writeTaggedBoolean(out, value.boolValue());
        case TaggedValue::kList:
            writeTaggedListHeader(out, static_cast<std::int32_t>(value.items().size()),
                                  value.lowerBound());
            for (const TaggedValue& item : value.items()) writeTaggedValue(out, item);
            return;
        default:
            break;
    }
    appendLe(out, static_cast<std::uint16_t>(value.tag()));
    switch (value.tag()) {
        case TaggedValue::kInt16:
            appendLe(out, static_cast<std::int16_t>(value.number()));
            break;
        case TaggedValue::kInt32:
            appendLe(out, static_cast<std::int32_t>(value.number()));
            break;
        case TaggedValue::kSingle:
            appendBits(out, static_cast<float>(value.number()));
            break;
        case TaggedValue::kDouble:
        case TaggedValue::kDate:
            appendBits(out, value.number());
            break;
        default:  // empty and null: the tag alone
            break;
    }
}

}  // namespace vqs
