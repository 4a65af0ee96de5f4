#include "datafiles/naming.h"

#include <gtest/gtest.h>

namespace vqs {
namespace {

TitelDef def(const QString& wkn, const QString& rtWkn, const QString& boerse, bool neueNamen) {
    TitelDef d;
    d.WKN = wkn;
    d.RT_WKN = rtWkn;
    d.RT_Boerse = boerse;
    d.NeueNamen = neueNamen;
    return d;
}

TEST(Naming, FileNamesOfTheWorkedExamples) {
    struct Case {
        TitelDef def;
        Kursart kind;
        const char* name;
    } cases[] = {
        {def("A1B/2C", "A1B/2C", "ETR", true), kBezahlt, "A1B-2C-BRAVOL-ETR.VQS"},
        {def("A1B/2C", "A1B/2C", "ETR", true), kBrief, "A1B-2C-B-BRAVOL-ETR.VQS"},
        {def("A1B/2C", "X9Y8Z", "ETR", false), kGeld, "A1B-2C-G-BRAVOLX9Y8Z.VQS"},
        {def("a:b*c?", "x", "ETR", true), kBezahlt, "a-b-c--BRAVOL-ETR.VQS"},
        {def("A", "A", "ETR", true), -105, "A-BMT5-BRAVOL-ETR.VQS"},
        {def("A", "A", "ETR", true), -207, "A-GMT7-BRAVOL-ETR.VQS"},
        {def("A", "A", "../../x", true), kBezahlt, "A-BRAVOL-..-..-x.VQS"},
        {def("A", "a/../b", "ETR", false), kBezahlt, "A-BRAVOLa-..-b.VQS"},
    };
    for (Case& c : cases) EXPECT_EQ(buildFileName(c.def, c.kind), c.name) << c.name;
}

TEST(Naming, SanitisersReplaceTheirCharactersOnly) {
    EXPECT_EQ(DateinameBereinigen("a/b\\c:d*e?f\"g<h>i|j (k) [l] é."),
              "a-b-c-d-e-f-g-h-i-j (k) [l] é.");
    EXPECT_EQ(OrdnerNameBereinigen("Euro Stoxx 50"), "Euro Stoxx 50");
    EXPECT_EQ(OrdnerNameBereinigen("(a)[b]{c}/\\:*?'\"<>|"), "-a--b--c-----------");
    EXPECT_EQ(OrdnerNameBereinigen(".."), "--");
    EXPECT_EQ(OrdnerNameBereinigen("."), "-");
    EXPECT_EQ(OrdnerNameBereinigen("..a"), "..a");
    EXPECT_EQ(OrdnerNameBereinigen(""), "");
    // Control characters never reach a path: a NUL would cut it short.
    EXPECT_EQ(DateinameBereinigen(QString("a") + QChar(0) + "b\tc\x7f"), "a-b-c-");
    EXPECT_EQ(OrdnerNameBereinigen(QString("Dax") + QChar(0) + "30\n"), "Dax-30-");
    EXPECT_EQ(ordnerAusEingabe("  Eigene Werte "), "Eigene Werte");
    EXPECT_EQ(ordnerAusEingabe("   "), "");
}

TEST(Naming, TheFolderOfATitleBelowTheDataRoot) {
    TitelDef d = def("A", "A", "ETR", true);
    d.Ordner = "Dax 30";
    EXPECT_EQ(folderPath("/daten", d), "/daten/Dax 30/");
    d.Ordner = "../ausserhalb";
    EXPECT_EQ(folderPath("/daten", d), "/daten/..-ausserhalb/");
}

}  // namespace
}  // namespace vqs
