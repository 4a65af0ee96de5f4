#include "model/tagged_value.h"

#include "common/error.h"

#include <gtest/gtest.h>

namespace vqs {
namespace {

QByteArray encoded(const TaggedValue& v) {
    QByteArray out;
    writeTaggedValue(out, v);
    return out;
}

TaggedValue decoded(const QByteArray& bytes) {
    qsizetype pos = 0;
    TaggedValue v = readTaggedValue(bytes, pos);
    EXPECT_EQ(pos, bytes.size());
    return v;
}

TEST(TaggedValue, EveryTagHasItsExactBytesAndReadsBack) {
    struct Case {
        const char* name;
        TaggedValue value;
        QByteArray bytes;
    } cases[] = {
        {"empty", TaggedValue(), QByteArray("\x00\x00", 2)},
        {"null", TaggedValue::null(), QByteArray("\x01\x00", 2)},
        {"int16", TaggedValue::int16(-2), QByteArray("\x02\x00\xFE\xFF", 4)},
        {"int32", TaggedValue::int32(0x01020304), QByteArray("\x03\x00\x04\x03\x02\x01", 6)},
        {"single", TaggedValue::single(1.5f), QByteArray("\x04\x00\x00\x00\xC0\x3F", 6)},
        {"double", TaggedValue::real(-2.0),
         QByteArray("\x05\x00\x00\x00\x00\x00\x00\x00\x00\xC0", 10)},
        {"date", TaggedValue::date(46366.5),
         QByteArray("\x07\x00\x00\x00\x00\x00\xD0\xA3\xE6\x40", 10)},
        {"text", TaggedValue::text(QStringLiteral("Börse")),
         QByteArray("\x08\x00\x05\x00"
                    "B\xF6rse",
                    9)},
        {"true", TaggedValue::boolean(true), QByteArray("\x0B\x00\xFF\xFF", 4)},
        {"false", TaggedValue::boolean(false), QByteArray("\x0B\x00\x00\x00", 4)},
        {"list", TaggedValue::list({TaggedValue(), TaggedValue::boolean(true)}, 1),
         QByteArray("\x0C\x20\x01\x00\x02\x00\x00\x00\x01\x00\x00\x00"
                    "\x00\x00\x0B\x00\xFF\xFF",
                    18)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encoded(c.value).toHex(' '), c.bytes.toHex(' ')) << c.name;
        EXPECT_EQ(decoded(c.bytes), c.value) << c.name;
    }
}

TEST(TaggedValue, ConversionsOfLooselyTypedValues) {
    EXPECT_EQ(TaggedValue::int32(710000).toText(), "710000");
    EXPECT_EQ(TaggedValue().toText(), "");
    EXPECT_EQ(TaggedValue::null().toText(), "");
    EXPECT_TRUE(TaggedValue::int16(-1).toBool());
    EXPECT_TRUE(TaggedValue::text("Wahr").toBool());
    EXPECT_TRUE(TaggedValue::text("1").toBool());
    EXPECT_FALSE(TaggedValue::text("nein").toBool());
    EXPECT_FALSE(TaggedValue().toBool());
}

TEST(TaggedValue, DamagedInputIsRefusedWithAReason) {
    struct Case {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"no tag", QByteArray("\x08", 1)},
        {"unknown tag", QByteArray("\x09\x00", 2)},
        {"text longer than the data", QByteArray("\x08\x00\x10\x00"
                                                 "abc",
                                                 7)},
        {"huge count", QByteArray("\x0C\x20\x01\x00\xFF\xFF\xFF\x7F\x00\x00\x00\x00", 12)},
        {"negative count", QByteArray("\x0C\x20\x01\x00\xFF\xFF\xFF\xFF\x00\x00\x00\x00", 12)},
        {"two dimensions", QByteArray("\x0C\x20\x02\x00", 4)},
        {"list cut short",
         QByteArray("\x0C\x20\x01\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00", 14)},
    };
    for (const Case& c : cases) {
        qsizetype pos = 0;
        EXPECT_THROW(readTaggedValue(c.bytes, pos), VqsError) << c.name;
    }

    // Lists nested deeper than any definitions file needs.
    QByteArray deep;
    for (int i = 0; i < 100; ++i)
        deep.append("\x0C\x20\x01\x00\x01\x00\x00\x00\x00\x00\x00\x00", 12);
    deep.append("\x00\x00", 2);
    qsizetype pos = 0;
    EXPECT_THROW(readTaggedValue(deep, pos), VqsError);
}

}  // namespace
}  // namespace vqs
