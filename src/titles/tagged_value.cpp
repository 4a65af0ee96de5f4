#include "titles/tagged_value.h"

#include "common/cp1252.h"
#include "common/error.h"
#include "common/serial_date.h"

#include <QtEndian>

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
TaggedValue TaggedValue::null() { return numeric(Null, 0); }
TaggedValue TaggedValue::int16(std::int16_t n) { return numeric(Int16, n); }
TaggedValue TaggedValue::int32(std::int32_t n) { return numeric(Int32, n); }
TaggedValue TaggedValue::single(float n) { return numeric(Single, n); }
TaggedValue TaggedValue::real(double n) { return numeric(Double, n); }
TaggedValue TaggedValue::date(double serial) { return numeric(Date, serial); }
TaggedValue TaggedValue::text(QString s) {
    TaggedValue v;
    v.tag_ = Text;
    v.text_ = std::move(s);
    return v;
}
TaggedValue TaggedValue::boolean(bool b) {
    TaggedValue v;
    v.tag_ = Boolean;
    v.bool_ = b;
    return v;
}
TaggedValue TaggedValue::list(std::vector<TaggedValue> items, std::int32_t lowerBound) {
    TaggedValue v;
    v.tag_ = List;
    v.items_ = std::move(items);
    v.lowerBound_ = lowerBound;
    return v;
}

QString TaggedValue::toText() const {
    switch (tag_) {
        case Int16:
        case Int32:
            return QString::number(static_cast<qint64>(number_));
        case Single:
            return QString::number(static_cast<float>(number_), 'g', 7);
        case Double:
            return QString::number(number_, 'g', 15);
        case Date: {
            QDateTime dt = dateTimeFromSerial(number_);
            return dt.isValid() ? dt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : QString();
        }
        case Text:
            return text_;
        case Boolean:
            return bool_ ? QStringLiteral("True") : QStringLiteral("False");
        default:
            return {};
    }
}

bool TaggedValue::toBool() const {
    switch (tag_) {
        case Boolean:
            return bool_;
        case Int16:
        case Int32:
        case Single:
        case Double:
        case Date:
            return number_ != 0.0;
        case Text: {
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
        case TaggedValue::Text:
            return a.text_ == b.text_;
        case TaggedValue::Boolean:
            return a.bool_ == b.bool_;
        case TaggedValue::List:
            return a.lowerBound_ == b.lowerBound_ && a.items_ == b.items_;
        case TaggedValue::Empty:
        case TaggedValue::Null:
            return true;
        default:
            return a.number_ == b.number_ || (std::isnan(a.number_) && std::isnan(b.number_));
    }
}

namespace {

constexpr int kMaxDepth = 16;

class Reader {
public:
    explicit Reader(QByteArrayView data, qsizetype pos) : data_(data), pos_(pos) {}

    TaggedValue value(int depth) {
        if (depth > kMaxDepth)
            throw VqsError(
                QStringLiteral("Die Listen sind zu tief verschachtelt (Byte %1).").arg(pos_));
        qsizetype at = pos_;
        auto tag = u16();
        switch (tag) {
            case TaggedValue::Empty:
                return TaggedValue();
            case TaggedValue::Null:
                return TaggedValue::null();
            case TaggedValue::Int16:
                return TaggedValue::int16(static_cast<std::int16_t>(u16()));
            case TaggedValue::Int32:
                return TaggedValue::int32(static_cast<std::int32_t>(u32()));
            case TaggedValue::Single: {
                std::uint32_t bits = u32();
                float f;
                std::memcpy(&f, &bits, sizeof f);
                return TaggedValue::single(f);
            }
            case TaggedValue::Double:
                return TaggedValue::real(f64());
            case TaggedValue::Date:
                return TaggedValue::date(f64());
            case TaggedValue::Text: {
                std::uint16_t len = u16();
                need(len);
                QString s = decodeCp1252(data_.sliced(pos_, len));
                pos_ += len;
                return TaggedValue::text(std::move(s));
            }
            case TaggedValue::Boolean:
                return TaggedValue::boolean(u16() != 0);
            case TaggedValue::List:
                return list(depth, at);
            default:
                throw VqsError(
                    QStringLiteral("Unbekannter Datentyp %1 bei Byte %2.").arg(tag).arg(at));
        }
    }

    qsizetype pos() const { return pos_; }

private:
    TaggedValue list(int depth, qsizetype at) {
        std::uint16_t dims = u16();
        if (dims == 0) return TaggedValue::list({}, 0);
        if (dims != 1)
            throw VqsError(
                QStringLiteral("Liste mit %1 Dimensionen bei Byte %2 wird nicht unterstützt.")
                    .arg(dims)
                    .arg(at));
        auto count = static_cast<std::int32_t>(u32());
        auto lower = static_cast<std::int32_t>(u32());
        // Every element takes at least its two tag bytes: a count beyond that cannot be real.
        if (count < 0 || count > (data_.size() - pos_) / 2)
            throw VqsError(
                QStringLiteral("Ungültige Elementanzahl %1 bei Byte %2.").arg(count).arg(at));
        std::vector<TaggedValue> items;
        items.reserve(static_cast<size_t>(count));
        for (std::int32_t i = 0; i < count; ++i) items.push_back(value(depth + 1));
        return TaggedValue::list(std::move(items), lower);
    }

    void need(qsizetype n) {
        if (n > data_.size() - pos_)
            throw VqsError(
                QStringLiteral("Die Datei endet unerwartet bei Byte %1.").arg(data_.size()));
    }
    std::uint16_t u16() {
        need(2);
        auto v = qFromLittleEndian<std::uint16_t>(data_.data() + pos_);
        pos_ += 2;
        return v;
    }
    std::uint32_t u32() {
        need(4);
        auto v = qFromLittleEndian<std::uint32_t>(data_.data() + pos_);
        pos_ += 4;
        return v;
    }
    double f64() {
        need(8);
        auto bits = qFromLittleEndian<std::uint64_t>(data_.data() + pos_);
        pos_ += 8;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }

    QByteArrayView data_;
    qsizetype pos_;
};

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
    Reader r(data, pos);
    TaggedValue v = r.value(0);
    pos = r.pos();
    return v;
}

void writeTaggedValue(QByteArray& out, const TaggedValue& value) {
    appendLe(out, static_cast<std::uint16_t>(value.tag()));
    switch (value.tag()) {
        case TaggedValue::Empty:
        case TaggedValue::Null:
            break;
        case TaggedValue::Int16:
            appendLe(out, static_cast<std::int16_t>(value.number()));
            break;
        case TaggedValue::Int32:
            appendLe(out, static_cast<std::int32_t>(value.number()));
            break;
        case TaggedValue::Single:
            appendBits(out, static_cast<float>(value.number()));
            break;
        case TaggedValue::Double:
        case TaggedValue::Date:
            appendBits(out, value.number());
            break;
        case TaggedValue::Text: {
            QByteArray bytes = encodeCp1252(value.textValue());
            if (bytes.size() > std::numeric_limits<std::uint16_t>::max())
                throw VqsError(
                    QStringLiteral("Ein Text ist mit %1 Zeichen zu lang.").arg(bytes.size()));
            appendLe(out, static_cast<std::uint16_t>(bytes.size()));
            out.append(bytes);
            break;
        }
        case TaggedValue::Boolean:
            appendLe(out, static_cast<std::int16_t>(value.boolValue() ? -1 : 0));
            break;
        case TaggedValue::List:
            appendLe(out, static_cast<std::uint16_t>(1));
            appendLe(out, static_cast<std::int32_t>(value.items().size()));
            appendLe(out, value.lowerBound());
            for (const TaggedValue& item : value.items()) writeTaggedValue(out, item);
            break;
    }
}

}  // namespace vqs
