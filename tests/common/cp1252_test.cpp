#include "common/cp1252.h"

#include <gtest/gtest.h>

namespace vqs {
namespace {

TEST(Cp1252, EncodesGermanTextAndReplacesWhatTheCodePageLacks) {
    struct Case {
        QString text;
        QByteArray bytes;
    } cases[] = {
        {QStringLiteral("Börse"), QByteArray("B\xF6rse")},
        {QStringLiteral("ß€"), QByteArray("\xDF\x80")},
        {QStringLiteral("„x“"), QByteArray("\x84x\x93")},
        {QStringLiteral("Ωα"), QByteArray("??")},
        {QString::fromUtf8("a\xF0\x9F\x98\x80"
                           "b"),
         QByteArray("a?b")},  // one code point, one byte
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encodeCp1252(c.text), c.bytes) << c.text.toStdString();
    }
}

TEST(Cp1252, EveryByteSurvivesARoundTrip) {
    QByteArray all;
    for (int i = 0; i < 256; ++i) all.append(static_cast<char>(i));
    EXPECT_EQ(encodeCp1252(decodeCp1252(all)), all);
}

TEST(Cp1252, FieldsArePaddedWithSpacesAndCut) {
    char field[8];
    writeCp1252Field(field, 8, u"Ärger");
    EXPECT_EQ(QByteArray(field, 8), QByteArray("\xC4rger   "));
    writeCp1252Field(field, 8, u"ΩΩΩΩΩΩΩΩΩΩ");
    EXPECT_EQ(QByteArray(field, 8), QByteArray("????????"));
}

}  // namespace
}  // namespace vqs
