#include "gui/titles/titel_auswahl_dialog.h"

#include "broker/fake_broker.h"
#include "broker/simulated_broker.h"
#include "gui/gui_support.h"
#include "gui/shell/list_sort.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTreeWidget>

namespace vqs {
namespace {

using test::child;

QStringList column(QTreeWidget* list, int c) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) texts << list->topLevelItem(i)->text(c);
    return texts;
}
QString tag(QTreeWidget* list, int row) {
    return list->topLevelItem(row)->data(0, Qt::UserRole).toString();
}
int icon(QTreeWidget* list, int row) {
    return list->topLevelItem(row)->data(0, Qt::UserRole + 1).toInt();
}
void markAll(QTreeWidget* list, int count) {
    for (int i = 0; i < count && i < list->topLevelItemCount(); ++i)
        list->topLevelItem(i)->setSelected(true);
}

struct SimulatedSelection : ::testing::Test {
    test::SimulatedContext t;
    SimulatedSelection() {
        EXPECT_TRUE(t.loginWith());
        t.recorder.titles().addFolder("Eigene");
    }
    void listCatalogue(frmTitelauswahl& d, int index) {
        d.katalogliste()->setCurrentItem(d.katalogliste()->topLevelItem(index));
        d.ShowTitelinKatalog();
    }
};

TEST_F(SimulatedSelection, OpeningFillsTheBoxes) {
    frmTitelauswahl d(t.recorder);
    auto* exchanges = child<QComboBox>(&d, QStringLiteral("LBörsenplätze"));
    ASSERT_EQ(exchanges->count(), d.Boersencodes().size());
    EXPECT_FALSE(d.Boersencodes().contains("NYS")) << "not admitted: not listed";
    EXPECT_EQ(d.Boersencodes()[exchanges->currentIndex()], "ETR");
    EXPECT_EQ(exchanges->currentText(), "Xetra");
    auto* folders = child<QComboBox>(&d, "LSuchSpeicherOrdner");
    EXPECT_EQ(folders->itemText(0), "Such-Auswahl");
    EXPECT_EQ(folders->itemText(1), "Eigene");
    EXPECT_EQ(child<QComboBox>(&d, "lWertpapierart")->currentText(), "Alle");
    EXPECT_EQ(column(d.katalogliste(), 0),
              (QStringList{"Dax 30", "TecDax 30", "Euro Stoxx 50", "SDax", "MDax"}));
}

TEST_F(SimulatedSelection, ACatalogueWithItsExchangeChoice) {
    frmTitelauswahl d(t.recorder);
    listCatalogue(d, 0);
    QTreeWidget* list = d.titelliste();
    ASSERT_EQ(list->topLevelItemCount(), 30);
    EXPECT_EQ(d.katalogliste()->headerItem()->text(0), "Katalog (30 Titel)");
    const QString code = list->topLevelItem(0)->text(2);
    EXPECT_EQ(tag(list, 0), code + "@ETR");
    EXPECT_EQ(list->topLevelItem(0)->text(1), t.broker().market().find(code)->name);

    // Recorded on its own exchange: the icon says so, whichever exchange the list shows.
    t.recorder.titles().add(test::titel(code, QString(), true));
    auto* choice = child<QComboBox>(&d, QStringLiteral("LKatalogbörsenplatz"));
    choice->setCurrentIndex(2);  // Frankfurt
    listCatalogue(d, 0);
    EXPECT_EQ(list->topLevelItem(0)->text(3), "FRA");
    EXPECT_EQ(tag(list, 0), code + "@FRA");
    EXPECT_EQ(icon(list, 0), 2);
    choice->setCurrentIndex(1);  // Xetra
    listCatalogue(d, 0);
    EXPECT_EQ(column(list, 3).count("ETR"), 30);

    // Activated from the catalogue tab: filed in the catalogue's folder.
    markAll(list, 3);
    child<QPushButton>(&d, "btnAktivierenBidAsk")->click();
    EXPECT_EQ(icon(list, 1), 3);
    EXPECT_EQ(t.recorder.titles().find(tag(list, 1))->Ordner, "Dax 30");
    EXPECT_TRUE(t.recorder.titles().folders().contains("Dax 30"));
    EXPECT_EQ(t.recorder.titles().titleObjects().size(), 3);

    // Switching tabs empties the list.
    d.selectTab(1);
    EXPECT_EQ(list->topLevelItemCount(), 0);
}

TEST_F(SimulatedSelection, SortingTogglesPerColumn) {
    frmTitelauswahl d(t.recorder);
    listCatalogue(d, 3);
    QTreeWidget* list = d.titelliste();
    QStringList names = column(list, 1);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    ListeSortieren(list, 1);
    EXPECT_EQ(column(list, 1), names);
    ListeSortieren(list, 1);
    std::reverse(names.begin(), names.end());
    EXPECT_EQ(column(list, 1), names) << "the same column again flips the order";
    ListeSortieren(list, 2);
    QStringList codes = column(list, 2);
    EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
    EXPECT_EQ(list->header()->sortIndicatorOrder(), Qt::AscendingOrder);

    // Another catalogue comes in sorted the same way.
    listCatalogue(d, 4);
    codes = column(list, 2);
    EXPECT_EQ(codes.size(), 50);
    EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
}

struct FakeSelection : ::testing::Test {
    test::FakeBrokerSession* fake = nullptr;
    test::TestContext t{[this] {
        auto f = std::make_unique<test::FakeBrokerSession>();
        f->exchangeList = {{"NYS", "New York", false, true},
                           {"ETR", "Xetra", true, true},
                           {"STU", "Stuttgart", true, false}};
        fake = f.get();
        return f;
    }};
    FakeSelection() { EXPECT_TRUE(t.loginWith()); }
};

TEST_F(FakeSelection, SearchSendsTheTermAndTheClassLetter) {
    frmTitelauswahl d(t.recorder);
    d.selectTab(1);
    auto* term = child<QLineEdit>(&d, "SuchbegriffFeld");
    auto* cls = child<QComboBox>(&d, "lWertpapierart");
    fake->instruments = {{"710000", "Mercedes-Benz Group AG"}, {"846900", "DAX"}};

    d.btnSuchen_Click();
    ASSERT_EQ(t.messages.shown.size(), 1u) << "an empty term gives the notice";
    EXPECT_EQ(t.messages.shown[0].text,
              QStringLiteral("Geben Sie bitte zunächst einen Suchbegriff ein."));
    EXPECT_TRUE(fake->counters->searches.isEmpty()) << "and no broker call";

    term->setText("Benz");
    d.btnSuchen_Click();
    ASSERT_EQ(fake->counters->searches.size(), 1);
    EXPECT_EQ(fake->counters->searches[0].term, "Benz");
    EXPECT_FALSE(fake->counters->searches[0].classLetter) << "\"Alle\" sends no letter";
    EXPECT_EQ(column(d.titelliste(), 2), (QStringList{"710000", "846900"}));
    EXPECT_EQ(column(d.titelliste(), 3), (QStringList{"ETR", "ETR"}));

    cls->setCurrentIndex(1);  // Warrants
    child<QComboBox>(&d, QStringLiteral("LBörsenplätze"))->setCurrentIndex(1);
    d.btnSuchen_Click();
    EXPECT_EQ(fake->counters->searches[1].classLetter, QString("W"));
    EXPECT_EQ(tag(d.titelliste(), 0), "710000@STU");
}

TEST_F(FakeSelection, AnEmptyResultOffersARowMadeFromTheTerm) {
    frmTitelauswahl d(t.recorder);
    d.selectTab(1);
    child<QLineEdit>(&d, "SuchbegriffFeld")->setText(" cg13ey ");
    t.messages.answerNext(msg::kResultNein);
    d.btnSuchen_Click();
    EXPECT_EQ(d.titelliste()->topLevelItemCount(), 0);
    EXPECT_EQ(t.messages.shown.back().text,
              QStringLiteral("Keine Titel gefunden! Möchten Sie diesen Titel manuell zufügen?"));
    EXPECT_EQ(t.messages.shown.back().style, msg::kYesNo);

    t.messages.answerNext(msg::kResultJa);
    d.btnSuchen_Click();
    ASSERT_EQ(d.titelliste()->topLevelItemCount(), 1);
    EXPECT_EQ(tag(d.titelliste(), 0), "CG13EY@ETR");
    EXPECT_EQ(d.titelliste()->topLevelItem(0)->text(1), "cg13ey");

    // The broker does not know it: activation leaves it inactive.
    child<QComboBox>(&d, "LSuchSpeicherOrdner")->setEditText("Manuell");
    d.titelliste()->topLevelItem(0)->setSelected(true);
    child<QPushButton>(&d, "btnRealAktivieren")->click();
    EXPECT_EQ(icon(d.titelliste(), 0), 1);
    const std::optional<TitelDef> def = t.recorder.titles().find(QStringLiteral("CG13EY@ETR"));
    ASSERT_TRUE(def);
    EXPECT_FALSE(def->Aktiv);
    EXPECT_EQ(def->Ordner, "Manuell");
}

TEST_F(FakeSelection, AnEmptyFolderStopsActivationOnTheSearchTab) {
    frmTitelauswahl d(t.recorder);
    d.selectTab(1);
    fake->instruments = {{"710000", "Mercedes-Benz Group AG"}};
    child<QLineEdit>(&d, "SuchbegriffFeld")->setText("Benz");
    d.btnSuchen_Click();
    child<QComboBox>(&d, "LSuchSpeicherOrdner")->setEditText("");
    d.titelliste()->topLevelItem(0)->setSelected(true);
    child<QPushButton>(&d, "btnRealAktivieren")->click();
    EXPECT_TRUE(t.messages.shown.back().text.startsWith("Geben Sie bitte einen Ordner an"));
    EXPECT_TRUE(t.recorder.titles().definitions().isEmpty());
    const size_t notices = t.messages.shown.size();
    child<QPushButton>(&d, "btnDeaktivieren")->click();
    EXPECT_EQ(t.messages.shown.size(), notices) << "deactivation needs no folder";
    EXPECT_EQ(t.recorder.titles().definitions().size(), 1);
}

// The keyboard acts as the mouse does: Alt+U and Alt+K switch the page with the tab, and
// Return in the search field searches once.
TEST_F(FakeSelection, TheKeyboardSwitchesPagesAndSearchesOnce) {
    frmTitelauswahl d(t.recorder);
    d.show();
    QApplication::setActiveWindow(&d);
    auto* katalog = child<QFrame>(&d, "Katalograhmen");
    auto* suche = child<QFrame>(&d, "SuchRahmen");
    auto* term = child<QLineEdit>(&d, "SuchbegriffFeld");
    QTest::keyClick(&d, Qt::Key_U, Qt::AltModifier);
    EXPECT_EQ(child<QTabBar>(&d, "Karteikasten")->currentIndex(), 1);
    EXPECT_TRUE(katalog->isHidden());
    EXPECT_FALSE(suche->isHidden());
    EXPECT_EQ(QApplication::focusWidget(), term) << "typing goes into the search term";
    QTest::keyClick(&d, Qt::Key_K, Qt::AltModifier);
    EXPECT_FALSE(katalog->isHidden());
    EXPECT_TRUE(suche->isHidden());
    EXPECT_EQ(QApplication::focusWidget(), child<QTreeWidget>(&d, "lKatalogliste"));

    // A click on the tab does the same.
    QTabBar* tabs = child<QTabBar>(&d, "Karteikasten");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    ASSERT_EQ(tabs->currentIndex(), 1);
    fake->instruments = {{"710000", "Mercedes-Benz Group AG"}};
    QTest::keyClicks(QApplication::focusWidget(), "Benz");
    EXPECT_EQ(term->text(), "Benz");
    QTest::keyClick(term, Qt::Key_Return);
    EXPECT_EQ(fake->counters->searches.size(), 1);
    term->clear();
    QTest::keyClick(term, Qt::Key_Return);
    EXPECT_EQ(t.messages.shown.size(), 1u) << "one notice for an empty term, not two";
}

}  // namespace
}  // namespace vqs
