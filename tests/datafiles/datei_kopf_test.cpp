#include "datafiles/datei_kopf.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vqs {
namespace {

TitelDef musterAg() {
    TitelDef d = test::titel("A1B2C3", QString());
    d.Name = "Muster AG";
    return d;
}

// Puts text at an offset, space-padded to the width: built here independently of the code.
void put(std::string& bytes, int offset, int width, const std::string& text) {
    std::string field = text.substr(0, static_cast<size_t>(width));
    field.resize(static_cast<size_t>(width), ' ');
    bytes.replace(static_cast<size_t>(offset), static_cast<size_t>(width), field);
}

TEST(DateiKopf, TheWorkedExampleByteForByte) {
    std::string expected(856, '\0');
    put(expected, 0, 36, "PLV Tickarchivar-Datei Version 01.00");
    expected[36] = '\xFF';
    expected[37] = '\xFF';
    put(expected, 38, 50, "Muster AG (ETR), Geld");
    put(expected, 88, 18, "A1B2C3-G-BRAVOL-ETR");  // 19 characters, cut to 18
    put(expected, 106, 250, "Muster AG (A1B2C3, ETR), Geld");
    put(expected, 356, 2, "Ja");
    put(expected, 358, 130, "Muster AG (ETR), Geld");
    put(expected, 488, 68, "A1B2C3-G-BRAVOL-ETR");
    put(expected, 556, 10, "BRAVOLT");
    put(expected, 566, 100, "A1B2C3@ETR");
    put(expected, 674, 12, "Geld");

    DateiKopf k = buildHeader(musterAg(), kGeld);
    EXPECT_EQ(std::string(k.bytes.data(), 856), expected);
    EXPECT_EQ(k.flag(), -1);
    EXPECT_TRUE(k.hasLongFields());
    EXPECT_EQ(k.displayCode(), "A1B2C3-G-BRAVOL-ETR");
    EXPECT_EQ(k.trimmedField(kopf::kKurzcode), "A1B2C3-G-BRAVOL-ET");
    EXPECT_EQ(k.field(kopf::kPflegedatum), QString(8, QChar(0)));
}

TEST(DateiKopf, TextsOfEveryKindOfQuote) {
    struct Case {
        Kursart kind;
        const char* name;
        const char* code;
        const char* beschreibung;
        const char* kursart;
    } cases[] = {
        {kBezahlt, "Muster AG (ETR)", "A1B2C3-BRAVOL-ETR", "Muster AG (A1B2C3, ETR)", "Bezahlt"},
        {kBrief, "Muster AG (ETR), Brief", "A1B2C3-B-BRAVOL-ETR", "Muster AG (A1B2C3, ETR), Brief",
         "Brief"},
        {-105, "Muster AG (ETR), -BMT5", "A1B2C3-BMT5-BRAVOL-ETR",
         "Muster AG (A1B2C3, ETR), Brief Markttiefe 5", ""},
        {-200, "Muster AG (ETR), -GMT0", "A1B2C3-GMT0-BRAVOL-ETR",
         "Muster AG (A1B2C3, ETR), Geld Markttiefe 0", ""},
        {-1, "Muster AG (ETR)", "A1B2C3-BRAVOL-ETR", "Muster AG (A1B2C3, ETR)", ""},
    };
    for (const Case& c : cases) {
        DateiKopf k = buildHeader(musterAg(), c.kind);
        EXPECT_EQ(k.displayName(), c.name) << c.kind;
        EXPECT_EQ(k.displayCode(), c.code) << c.kind;
        EXPECT_EQ(k.trimmedField(kopf::kBeschreibung), c.beschreibung) << c.kind;
        EXPECT_EQ(k.trimmedField(kopf::kKursart), c.kursart) << c.kind;
        if (*c.kursart == 0) {
            EXPECT_EQ(k.field(kopf::kKursart), QString(12, QChar(0))) << c.kind;
        }
    }
}

TEST(DateiKopf, LongNamesAreCutInTheShortFieldOnlyAndUnsafeCodesSanitised) {
    TitelDef d = musterAg();
    d.Name = QString(60, QLatin1Char('N'));
    d.RT_Boerse.clear();
    d.WKN = "A/B:C";
    DateiKopf k = buildHeader(d, kBezahlt);
    EXPECT_EQ(k.field(kopf::kTitelname), QString(50, QLatin1Char('N')));
    EXPECT_EQ(k.trimmedField(kopf::kTitelnameLang), QString(60, QLatin1Char('N')));
    EXPECT_EQ(k.displayCode(), "A-B-C-BRAVOL-");
    EXPECT_EQ(k.trimmedField(kopf::kTitelKey), "A1B2C3@") << "the key keeps the codes as they are";
}

TEST(DateiKopf, AnOldHeaderShowsItsShortFields) {
    DateiKopf k = buildHeader(musterAg(), kBezahlt);
    std::memset(k.bytes.data() + kopf::kLangFelder.offset, 0, 2);
    k.setField(kopf::kTitelname, "Alt");
    EXPECT_EQ(k.displayName(), "Alt");
    EXPECT_EQ(k.displayCode(), "A1B2C3-BRAVOL-ETR");
}

TEST(DateiKopf, ValidityAndRecordCount) {
    DateiKopf k = buildHeader(musterAg(), kBezahlt);
    EXPECT_TRUE(isDataFileStart(856, k.bytes.data()));
    EXPECT_FALSE(isDataFileStart(855, k.bytes.data()));
    char foreign[36] = "PLV Tickarchivar-Datei Version 02.0";
    EXPECT_FALSE(isDataFileStart(900, foreign));
    EXPECT_EQ(recordCount(856), 0);
    EXPECT_EQ(recordCount(857), 0);
    EXPECT_EQ(recordCount(872), 1);
    EXPECT_EQ(recordCount(100), 0);

    char rec[16];
    KursSatz s{46366.5, 101.25f, 300};
    encodeKursSatz(s, rec);
    EXPECT_EQ(QByteArray(rec, 16).toHex(), "00000000d0a3e6400080ca4200009643");
    EXPECT_EQ(decodeKursSatz(rec), s);
}

}  // namespace
}  // namespace vqs
