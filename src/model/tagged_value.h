#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace vqs {

// One loosely typed value of the definitions file: a 16-bit tag and its payload.
class TaggedValue {
public:
    enum Tag : std::uint16_t {
        kEmpty = 0,
        kNull = 1,
        kInt16 = 2,
        kInt32 = 3,
        kSingle = 4,
        kDouble = 5,
        kDate = 7,
        kText = 8,
        kBoolean = 11,
        kList = 0x200C,
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
    bool isList() const { return tag_ == kList; }
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

    Tag tag_ = kEmpty;
    double number_ = 0.0;
    bool bool_ = false;
    QString text_;
    std::vector<TaggedValue> items_;
    std::int32_t lowerBound_ = 0;
};

// Where a reader's bytes come from when they are not all in memory: a file read in pieces.
class TaggedByteSource {
public:
    virtual ~TaggedByteSource() = default;
    // The bytes from offset `from` on, at least `atLeast` of them where the source has them
    // (fewer only at its end); valid until the next call. Throws VqsError when it cannot read.
    virtual QByteArrayView fetch(qint64 from, qint64 atLeast) = 0;
};

// Reads tagged values one after the other, from bytes in memory or from a source of `size`
// bytes that hands them over in pieces (a value never needs more than one piece at once).
// The bytes are untrusted: every count and length is checked against what is there, nesting is
// bounded. Throws VqsError with a German description on damaged input; positions in messages
// count from the start of the bytes.
class TaggedReader {
public:
    TaggedReader(QByteArrayView data, qsizetype pos)
        : window_(data), size_(data.size()), pos_(pos) {}
    TaggedReader(TaggedByteSource& source, qint64 size, qint64 pos)
        : source_(&source), size_(size), pos_(pos) {}

    // The value at the position, whole.
    TaggedValue value(int depth = 0);
    // The header of the list at the position (the reader then stands at its first element);
    // none, with nothing read, when the value there is not a list.
    struct ListHeader {
        std::int32_t count;
        std::int32_t lowerBound;
    };
    std::optional<ListHeader> listHeader();
    // The bytes of the text at the position (the reader then stands behind it), valid until the
    // next read; none, with nothing read, when the value there is not a text.
    std::optional<QByteArrayView> textBytes();
    // Steps over the value at the position without keeping anything of it.
    void skip(int depth = 0);
    // The tag of the value at the position (0xFFFF at the end).
    std::uint16_t nextTag();
    qint64 pos() const { return pos_; }

private:
    ListHeader listBody(qint64 at);
    // Makes n bytes from the position available; throws at the end of the bytes.
    void need(qint64 n) {
        if (pos_ + n > windowStart_ + window_.size()) fetch(n);
    }
    void fetch(qint64 n);
    const char* here() const { return window_.data() + (pos_ - windowStart_); }
    // Lists nested deeper than a definitions file needs are refused: the stack stays small.
    void checkDepth(int depth) const;
    void advance(qint64 n);
    std::uint16_t u16();
    std::uint32_t u32();
    double f64();

    TaggedByteSource* source_ = nullptr;
    QByteArrayView window_;  // the bytes from windowStart_ on that are at hand
    qint64 windowStart_ = 0;
    qint64 size_;
    qint64 pos_;
};

// Reads one tagged value starting at pos and advances pos past it. The bytes are untrusted:
// every count and length is checked against what is there, nesting is bounded. Throws VqsError
// with a German description on damaged input.
TaggedValue readTaggedValue(QByteArrayView data, qsizetype& pos);

// Appends the encoding of value. Throws VqsError when a text is too long for its length field.
void writeTaggedValue(QByteArray& out, const TaggedValue& value);
// The same encodings piece by piece, for writers that do not build values first.
void writeTaggedText(QByteArray& out, QStringView text);
void writeTaggedBoolean(QByteArray& out, bool value);
void writeTaggedEmpty(QByteArray& out);
// A list's tag and header; its `count` elements follow.
void writeTaggedListHeader(QByteArray& out, std::int32_t count, std::int32_t lowerBound);

}  // namespace vqs
