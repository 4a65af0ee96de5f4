#include "datafiles/naming.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

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

TEST(Naming, NamesOfKindsZeroToTwoAreRemembered) {
    TitelDef d = def("710000", "710000", "ETR", true);
    buildFileName(d, -1);
    EXPECT_FALSE(d.Dateinamen) << "market depth and other kinds are not remembered";
    buildFileName(d, kGeld);
    ASSERT_TRUE(d.Dateinamen);
    EXPECT_EQ(*d.Dateinamen, (std::array<QString, 3>{"", "710000-G-BRAVOL-ETR.VQS", ""}));
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
}

TEST(Naming, BuildFolderCreatesOneLevelInsideTheRoot) {
    QTemporaryDir root;
    TitelDef d = def("A", "A", "ETR", true);
    d.Ordner = "Dax 30";
    const QString folder = buildFolder(root.path(), d);
    EXPECT_EQ(folder, root.path() + "/Dax 30/");
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_EQ(buildFolder(root.path(), d), folder) << "an existing folder changes nothing";

    d.Ordner = "../ausserhalb";
    EXPECT_EQ(buildFolder(root.path(), d), root.path() + "/..-ausserhalb/");
    d.Ordner = "..";
    EXPECT_EQ(buildFolder(root.path(), d), root.path() + "/--/");
    EXPECT_TRUE(QDir(root.path() + "/--").exists());

    d.Ordner = "Neu";
    EXPECT_EQ(buildFolder(root.path() + "/fehlt", d), root.path() + "/fehlt/Neu/")
        << "a missing root is not created, the path is returned all the same";
    EXPECT_FALSE(QDir(root.path() + "/fehlt").exists());
}

}  // namespace
}  // namespace vqs
