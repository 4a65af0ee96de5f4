#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <vector>

namespace vqs {

// One loosely typed value of the definitions file: a 16-bit tag and its payload.
class TaggedValue {
public:
    enum Tag : std::uint16_t {
        Empty = 0,
        Null = 1,
        Int16 = 2,
        Int32 = 3,
        Single = 4,
        Double = 5,
        Date = 7,
        Text = 8,
        Boolean = 11,
        List = 0x200C,
    };

    TaggedValue() = default;  // the empty value
    static TaggedValue null();
    static TaggedValue int16(std::int16_t v);
    static TaggedValue int32(std::int32_t v);
    static TaggedValue single(float v);
    static TaggedValue real(double v);
    static TaggedValue date(double serial);
    static TaggedValue text(QString v);
    static TaggedValue boolean(bool v);
    static TaggedValue list(std::vector<TaggedValue> items, std::int32_t lowerBound);

    Tag tag() const { return tag_; }
    bool isList() const { return tag_ == List; }
    double number() const { return number_; }
    const QString& textValue() const { return text_; }
    bool boolValue() const { return bool_; }
    const std::vector<TaggedValue>& items() const { return items_; }
    std::int32_t lowerBound() const { return lowerBound_; }

    // The value as text, as a loosely typed language turns any scalar into text; lists give "".
    QString toText() const;
    // Booleans as they are; numbers are true when not 0; texts "True"/"Wahr" or a non-zero
    // number; everything else false.
    bool toBool() const;

    friend bool operator==(const TaggedValue& a, const TaggedValue& b);

private:
    static TaggedValue numeric(Tag tag, double value);

    Tag tag_ = Empty;
    double number_ = 0.0;
    bool bool_ = false;
    QString text_;
    std::vector<TaggedValue> items_;
    std::int32_t lowerBound_ = 0;
};

// Reads one tagged value starting at pos and advances pos past it. The bytes are untrusted:
// every count and length is checked against what is there, nesting is bounded. Throws VqsError
// with a German description on damaged input.
TaggedValue readTaggedValue(QByteArrayView data, qsizetype& pos);

// Appends the encoding of value. Throws VqsError when a text is too long for its length field.
void writeTaggedValue(QByteArray& out, const TaggedValue& value);

}  // namespace vqs
