#include "gui/titles/titel_verwaltung_dialog.h"

#include "broker/fake_broker.h"
#include "datafiles/datei_kopf.h"
#include "gui/gui_support.h"
#include "recording/settings_store.h"
#include "support/test_support.h"
#include "titles/titel_registry.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTreeView>
#include <QtTest/QTest>

namespace vqs {
namespace {

using test::child;
using test::onNextModal;

constexpr int kTagRole = Qt::UserRole;
constexpr int kIconRole = Qt::UserRole + 1;

struct Verwaltung : ::testing::Test {
    test::FakeBrokerSession* fake = nullptr;
    test::TestContext t{[this] {
        auto f = std::make_unique<test::FakeBrokerSession>();
        fake = f.get();
        return f;
    }};
    struct Geoeffnet {
        QString path;
        QWidget* owner;
    };
    std::vector<Geoeffnet> inspektor;  // what the Dateninspektor was asked to open

    Verwaltung() { EXPECT_TRUE(t.loginWith()); }

    void define(const QString& code, const QString& ordner, bool aktiv = false) {
        EXPECT_TRUE(t.record({test::titel(code, ordner, aktiv)}));
    }
    std::unique_ptr<frmTitelverwaltung> open() {
        return std::make_unique<frmTitelverwaltung>(t.recorder,
                                                    [this](const QString& path, QWidget* owner) {
                                                        inspektor.push_back({path, owner});
                                                    });
    }
    static QStringList entries(const frmTitelverwaltung& d) {
        QStringList texts;
        for (int i = 0; i < d.ordnerliste()->count(); ++i) texts << d.ordnerliste()->itemText(i);
        return texts;
    }
    static QStringList column(const frmTitelverwaltung& d, int c, int role = Qt::DisplayRole) {
        QStringList texts;
        QAbstractItemModel* m = d.titelliste()->model();
        for (int r = 0; r < m->rowCount(); ++r) texts << m->index(r, c).data(role).toString();
        return texts;
    }
    static void mark(frmTitelverwaltung& d, const QStringList& codes) {
        QTreeView* list = d.titelliste();
        list->clearSelection();
        for (int r = 0; r < list->model()->rowCount(); ++r) {
            if (!codes.contains(list->model()->index(r, 2).data().toString())) continue;
            list->selectionModel()->select(list->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    static void chooseFolder(frmTitelverwaltung& d, int position) {
        d.ordnerliste()->setCurrentIndex(position);
        d.ShowTitel();
    }
    QString remembered() const { return readSetting(t.settings, settings::kOrdnerIndex, "(none)"); }
};

TEST_F(Verwaltung, WithoutTitlesOnlyTheOptionsHelpAndCloseAreUsable) {
    t.recorder.titles().addFolder("Eigene");
    auto d = open();
    for (const char* name : {"btnRealAktivieren", "btnAktivierenBidAsk", "btnDeaktivieren",
                             "btnLöschen", "btnDateninspektor", "btnDatenpflege"})
        EXPECT_FALSE(child<QPushButton>(d.get(), QString::fromUtf8(name))->isEnabled()) << name;
    for (const char* name : {"btnEinstellungen", "Hilfe", "Okay"})
        EXPECT_TRUE(child<QPushButton>(d.get(), name)->isEnabled()) << name;
    EXPECT_EQ(entries(*d), (QStringList{"Alle Titel", "Eigene"}));
    EXPECT_EQ(d->titelliste()->model()->rowCount(), 0);
}

// The dialog opens with the keys in the title list: Down moves through the titles, not through
// the folders.
TEST_F(Verwaltung, TheKeysGoToTheTitleList) {
    define("710000", "Dax 30");
    define("A1B2C3", "Eigene");
    auto d = open();
    d->show();
    QApplication::setActiveWindow(d.get());
    EXPECT_EQ(QApplication::focusWidget(), d->titelliste());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(d->ordnerliste()->currentIndex(), 0) << "still \"Alle Titel\"";
    EXPECT_EQ(d->titelliste()->model()->rowCount(), 2);
    EXPECT_TRUE(d->titelliste()->currentIndex().isValid());
}

TEST_F(Verwaltung, TheRememberedFolderIsChosenAndEveryCloseRemembersTheChoice) {
    define("710000", "Dax 30", true);
    define("A1B2C3", "Eigene");
    define("846900", "dax 30");
    struct Case {
        const char* gemerkt;
        int position;
        QStringList codes;
    } cases[] = {{"DAX 30", 1, {"710000", "846900"}},
                 {"Verschwunden", 0, {"710000", "A1B2C3", "846900"}},
                 {"", 0, {"710000", "A1B2C3", "846900"}}};
    for (const Case& c : cases) {
        writeSetting(t.settings, settings::kOrdnerIndex, QString::fromUtf8(c.gemerkt));
        auto d = open();
        EXPECT_EQ(d->ordnerliste()->currentIndex(), c.position) << c.gemerkt;
        EXPECT_EQ(column(*d, 2), c.codes) << c.gemerkt;
    }

    auto d = open();
    EXPECT_EQ(column(*d, 0, kTagRole), (QStringList{"710000@ETR", "A1B2C3@ETR", "846900@ETR"}));
    EXPECT_EQ(column(*d, 0, kIconRole), (QStringList{"2", "1", "1"}));
    EXPECT_EQ(column(*d, 3), (QStringList{"ETR", "ETR", "ETR"}));
    EXPECT_EQ(column(*d, 4), (QStringList{"Dax 30", "Eigene", "Dax 30"}));

    chooseFolder(*d, 2);
    d->reject();  // Escape and the close box end here as well
    EXPECT_EQ(remembered(), "Eigene");
    d = open();
    chooseFolder(*d, 0);
    child<QPushButton>(d.get(), "Okay")->click();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(remembered(), "Alle Titel");
}

TEST_F(Verwaltung, ActivationChangesTheIconsAndAColumnClickSortsWithTheMarks) {
    define("710000", "Dax 30");
    define("A1B2C3", "Dax 30");
    define("UNBEKANNT", "Dax 30");
    auto d = open();
    mark(*d, {"A1B2C3", "UNBEKANNT"});
    child<QPushButton>(d.get(), "btnAktivierenBidAsk")->click();
    EXPECT_EQ(column(*d, 0, kIconRole), (QStringList{"1", "3", "1"}));
    ASSERT_EQ(t.messages.shown.size(), 1u) << "the refused title is named once";
    EXPECT_TRUE(t.messages.shown[0].text.endsWith("UNBEKANNT"));
    EXPECT_TRUE(t.recorder.titles().isRecording(TitelId("A1B2C3", "ETR")));

    QTest::mouseClick(d->titelliste()->header()->viewport(), Qt::LeftButton, {},
                      {d->titelliste()->header()->sectionViewportPosition(0) + 5, 5});
    EXPECT_EQ(column(*d, 2), (QStringList{"710000", "UNBEKANNT", "A1B2C3"}));
    EXPECT_EQ(d->markierteTags(), (QStringList{"UNBEKANNT@ETR", "A1B2C3@ETR"}))
        << "the marks move with their rows";
    d->titelliste()->sortByColumn(1, Qt::DescendingOrder);
    EXPECT_EQ(column(*d, 1), (QStringList{"Name UNBEKANNT", "Name A1B2C3", "Name 710000"}));

    child<QPushButton>(d.get(), "btnDeaktivieren")->click();
    EXPECT_EQ(column(*d, 0, kIconRole), (QStringList{"1", "1", "1"}));
    EXPECT_FALSE(t.recorder.titles().find("A1B2C3@ETR")->Aktiv);
}

TEST_F(Verwaltung, DeletingAsksOnceWithAlleTitelAndAboutTheEmptiedFolderOtherwise) {
    define("710000", "Dax 30", true);
    define("A1B2C3", "Eigene");
    define("846900", "Alt");

    // "Nein" to the first question deletes nothing.
    auto d = open();
    mark(*d, {"710000"});
    t.messages.answerNext(msg::kResultNein);
    d->btnLoeschen_Click();
    EXPECT_EQ(d->titelliste()->model()->rowCount(), 3);
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_EQ(t.messages.shown[0].text,
              "Sollen die markierten Titel aus der Liste gelöscht werden?\rHinweis: Dabei geht die "
              "Information über die ursprüngliche Katalog-Zugehörigkeit der Titel verloren.");
    EXPECT_EQ(t.messages.shown[0].style, msg::kYesNo | msg::kDefaultButton2)
        << "\"Nein\" is the default: Enter alone deletes nothing";

    // With "Alle Titel" no folder question, even for a folder that empties.
    t.messages.answerNext(msg::kResultJa);
    d->btnLoeschen_Click();
    EXPECT_EQ(column(*d, 2), (QStringList{"A1B2C3", "846900"}));
    EXPECT_EQ(t.messages.shown.size(), 2u);
    EXPECT_FALSE(t.recorder.titles().titleObjects().contains("710000@ETR"))
        << "the deleted active title is no longer subscribed";
    EXPECT_EQ(t.recorder.titles().countRecording().aktiv, 0);
    EXPECT_TRUE(t.recorder.titles().folders().contains("Dax 30"));

    // The last title of a folder, "Nein": the entry stays until the next opening.
    chooseFolder(*d, entries(*d).indexOf("Eigene"));
    mark(*d, {"A1B2C3"});
    t.messages.answerNext(msg::kResultJa);
    t.messages.answerNext(msg::kResultNein);
    d->btnLoeschen_Click();
    ASSERT_EQ(t.messages.shown.size(), 4u);
    EXPECT_TRUE(t.messages.shown[3].text.startsWith("Dieser Katalog enthält keine Titel mehr."));
    EXPECT_TRUE(entries(*d).contains("Eigene"));
    EXPECT_FALSE(t.recorder.titles().folders().contains("Eigene"));
    EXPECT_EQ(d->titelliste()->model()->rowCount(), 0);

    // "Ja": the entry goes at once and all titles are listed.
    chooseFolder(*d, entries(*d).indexOf("Alt"));
    mark(*d, {"846900"});
    t.messages.answerNext(msg::kResultJa);
    t.messages.answerNext(msg::kResultJa);
    d->btnLoeschen_Click();
    EXPECT_FALSE(entries(*d).contains("Alt"));
    EXPECT_EQ(d->ordnerliste()->currentIndex(), 0);
    EXPECT_EQ(d->titelliste()->model()->rowCount(), 0) << "no title is left";

    EXPECT_EQ(entries(*open()), (QStringList{"Alle Titel", "Dax 30"}));
}

TEST_F(Verwaltung, TheDateninspektorOpensTheChosenKindsFileAndMakesOneOnlyOnJa) {
    define("710000", "Dax 30");
    auto d = open();

    d->btnDateninspektor_Click();
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_EQ(t.messages.shown[0].text, "Markieren Sie bitte zunächst einen Titel!");

    auto chooseKind = [](const char* radio) {
        onNextModal([radio](QWidget* w) {
            EXPECT_EQ(w->windowTitle(), "Kursart für Dateninspektor wählen");
            child<QRadioButton>(w, radio)->setChecked(true);
            child<QPushButton>(w, "Okay")->click();
        });
    };
    const QString geld =
        t.recorder.store().filePath(*t.recorder.titles().find("710000@ETR"), kGeld);
    mark(*d, {"710000"});
    chooseKind("optKursart(1)");
    t.messages.answerNext(msg::kResultNein);
    d->btnDateninspektor_Click();
    EXPECT_EQ(t.messages.shown.back().text,
              "Dieser Titel enthält noch keine Daten! Soll die Datendatei jetzt angelegt werden?");
    EXPECT_FALSE(QFileInfo::exists(geld)) << "\"Nein\" leaves no empty file behind";
    EXPECT_TRUE(inspektor.empty());

    // A double click is "Daten...": "Ja" makes the header, and the Dateninspektor opens it.
    chooseKind("optKursart(1)");
    t.messages.answerNext(msg::kResultJa);
    d->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
    QTreeView* list = d->titelliste();
    const QRect row = list->visualRect(list->model()->index(0, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(QFileInfo(geld).size(), kHeaderSize);
    ASSERT_EQ(inspektor.size(), 1u);
    EXPECT_EQ(inspektor[0].path, geld);
    EXPECT_EQ(inspektor[0].owner, d.get());

    // Cancelled kind choice: nothing happens; a file with data opens without a question.
    const size_t shown = t.messages.shown.size();
    onNextModal([](QWidget* w) { child<QPushButton>(w, "Abbruch")->click(); });
    d->btnDateninspektor_Click();
    EXPECT_EQ(inspektor.size(), 1u);
    chooseKind("optKursart(1)");
    d->btnDateninspektor_Click();
    EXPECT_EQ(t.messages.shown.size(), shown);
    EXPECT_EQ(inspektor.size(), 2u);

    // Something short that is no data file is told and left alone.
    const QString bezahlt =
        t.recorder.store().filePath(*t.recorder.titles().find("710000@ETR"), kBezahlt);
    test::writeFile(bezahlt, "kaputt");
    chooseKind("optKursart(0)");
    d->btnDateninspektor_Click();
    EXPECT_TRUE(t.messages.shown.back().text.startsWith("Fehler aufgetreten: "));
    EXPECT_EQ(test::readFile(bezahlt), "kaputt");
    EXPECT_EQ(inspektor.size(), 2u);
}

TEST_F(Verwaltung, DatenpflegeFillsTheMarkedTitlesFromTheChosenTime) {
    // Items from 09:00 to 17:30, every half hour.
    for (int m = 9 * 60; m <= 17 * 60 + 30; m += 30)
        fake->history.items.push_back({{m / 60, m % 60, 0, 0, {}}, 100.0 + m, 10});
    define("710000", "Dax 30");
    define("A1B2C3", "Dax 30");
    define("846900", "Dax 30");
    auto d = open();

    d->btnDatenpflege_Click();
    EXPECT_EQ(t.messages.shown.back().text, "Markieren Sie bitte zunächst einen Titel!");

    mark(*d, {"710000", "846900"});
    onNextModal([](QWidget* w) {
        child<QTimeEdit>(w, "Zeitfeld")->setTime(QTime(12, 0));
        child<QPushButton>(w, "Okay")->click();
    });
    d->btnDatenpflege_Click();  // the progress window closes by itself

    auto records = [&](const QString& code) {
        const QString path =
            t.recorder.store().filePath(*t.recorder.titles().find(code + "@ETR"), kBezahlt);
        const QByteArray bytes = test::readFile(path);
        return bytes.size() < kHeaderSize ? 0 : (bytes.size() - kHeaderSize) / kRecordSize;
    };
    EXPECT_EQ(records("710000"), 12) << "12:00 to 17:30";
    EXPECT_EQ(records("846900"), 12);
    EXPECT_EQ(records("A1B2C3"), 0) << "not marked";
    EXPECT_DOUBLE_EQ(readSetting(t.settings, settings::kBravoltUhrzeit).toDouble(), 0.5);
}

TEST_F(Verwaltung, TheOptionsTakeEffectOnlyWithOk) {
    auto d = open();
    for (const char* button : {"Abbruch", "Okay"}) {
        onNextModal([button](QWidget* w) {
            child<QCheckBox>(w, "optUmsatzfilter(1)")->setChecked(true);
            child<QCheckBox>(w, "optDatenpflege")->setChecked(true);
            child<QPushButton>(w, button)->click();
        });
        d->btnEinstellungen_Click();
        const bool ok = QByteArray(button) == "Okay";
        EXPECT_EQ(t.recorder.options().UmsatzFilterAndere, ok) << button;
        EXPECT_EQ(t.recorder.options().AutoDatenpflege, ok) << button;
        EXPECT_EQ(readSetting(t.settings, settings::kAutoDatenpflege), ok ? "1" : "0") << button;
        EXPECT_EQ(readSetting(t.settings, settings::kUmsatzFilterBezahlt), "0") << button;
    }
}

}  // namespace
}  // namespace vqs
