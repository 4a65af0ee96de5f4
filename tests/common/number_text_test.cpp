#include "common/number_text.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace vqs {
namespace {

TEST(NumberText, LeadingNumberReadsWhatTheSwitchesAndTheDelayHold) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"", 0},          {"abc", 0},     {"0", 0},      {"1", 1},   {"-1", -1},
        {"  12abc", 12},  {"5.5 s", 5.5}, {"1e3", 1000}, {"1e", 1},  {".5", 0.5},
        {"40000", 40000}, {"-", 0},       {"+7", 7},     {"3,5", 3}, {"1.2.3", 1.2},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(leadingNumber(QString::fromLatin1(c.text)), c.value) << c.text;
    }
    EXPECT_TRUE(switchIsOn(u"-1"));
    EXPECT_FALSE(switchIsOn(u"Ja"));
}

class NumberTextInLocale : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QString::fromLatin1(GetParam()))); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_P(NumberTextInLocale, WrittenNumbersReadBackAndBothSeparatorsAreUnderstood) {
    for (double v : {0.0, 1234.5, -17.25, 0.3958333333333333, 14400.0}) {
        EXPECT_EQ(parseLocaleNumber(localeNumberText(v)), v) << v;
    }
    EXPECT_EQ(parseLocaleNumber(localeNumberText(1234.5f)), 1234.5);
    EXPECT_EQ(parseLocaleNumber(u"1,5"), 1.5);
    EXPECT_EQ(parseLocaleNumber(u"1.5"), 1.5);
    EXPECT_EQ(parseLocaleNumber(u" 7 "), 7.0);
    EXPECT_EQ(parseLocaleNumber(u""), std::nullopt);
    EXPECT_EQ(parseLocaleNumber(u"abc"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Locales, NumberTextInLocale, ::testing::Values("C", "de_DE", "en_US"));

TEST(NumberText, GermanLocaleWritesADecimalComma) {
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    EXPECT_EQ(localeNumberText(1234.5), QStringLiteral("1234,5"));
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(localeNumberText(1234.5), QStringLiteral("1234.5"));
}

}  // namespace
}  // namespace vqs
