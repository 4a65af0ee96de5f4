#include "support/test_support.h"
#include "titles/titel_definitionen_datei.h"
#include "tools/vqstool_run.h"

#include <gtest/gtest.h>

namespace vqs {
namespace {

using test::runTool;
using test::ToolRun;

TEST(VqstoolTitles, ListsOneLinePerDefinition) {
    QTemporaryDir dir;
    KeyedCollection<TitelDef> defs;
    TitelDef a;
    a.RT_WKN = a.WKN = "710000";
    a.Name = QStringLiteral("Mercedes-Benz Group AG");
    a.Ordner = "Dax 30";
    a.RT_Boerse = "ETR";
    a.Aktiv = a.UseBidAsk = true;
    TitelDef b = a;
    b.RT_Boerse = "FRA";
    b.Aktiv = b.UseBidAsk = false;
    defs.add(a.id().text(), a);
    defs.add(b.id().text(), b);
    const QString path = dir.path() + "/Bravolt_Titel.Dat";
    writeTitelDefinitionenFile(path, defs);

    ToolRun r = runTool({"titles", path});
    EXPECT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_EQ(r.out,
              "710000@ETR\tMercedes-Benz Group AG\tDax 30\taktiv\tGeld/Brief\n"
              "710000@FRA\tMercedes-Benz Group AG\tDax 30\tinaktiv\tnur Bezahlt\n");
}

TEST(VqstoolTitles, ADamagedOrForeignFileExitsNonZeroWithTheReason) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Bravolt_Titel.Dat";
    test::writeFile(path, QByteArray("Tradomir VQS BravoltDefs 01.00\x0C\x20\x01", 33));
    ToolRun r = runTool({"titles", path});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.startsWith("Fehler beim Laden der Titeldefinitionen aufgetreten: "))
        << r.err.toStdString();

    test::writeFile(path, "etwas anderes");
    EXPECT_EQ(runTool({"titles", path}).rc, 1);
    EXPECT_EQ(runTool({"titles", dir.path() + "/fehlt.Dat"}).rc, 1);
    EXPECT_EQ(runTool({"titles"}).rc, 2);
    EXPECT_EQ(runTool({}).rc, 2);
}

}  // namespace
}  // namespace vqs
