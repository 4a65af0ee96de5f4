#include "gui/dateninspektor/dateninspektor.h"

#include "common/error.h"
#include "common/serial_date.h"
#include "datafiles/data_file_document.h"
#include "datafiles/data_file_store.h"
#include "gui/dateninspektor/frm_plv_realtime_titel.h"
#include "gui/dateninspektor/kurs_chart.h"
#include "gui/dateninspektor/kurs_modell.h"
#include "gui/dateninspektor/kurs_tabelle.h"
#include "gui/dateninspektor/ordner_baum.h"
#include "gui/gui_support.h"
#include "gui/shell/message_dialog.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>
#include <QUndoStack>
#include <QWheelEvent>

#include <limits>

#include <sys/stat.h>

namespace vqs {
namespace {

using test::child;
using test::onNextModal;

constexpr double kDay = 46366.0;

QByteArray content(const DateiKopf& kopf, int records, double step = 1.0 / 86400) {
    QByteArray bytes(kopf.bytes.data(), kHeaderSize);
    for (int i = 0; i < records; ++i) {
        char r[kRecordSize];
        encodeKursSatz({kDay + 0.4 + i * step, 100.0f + static_cast<float>(i), 10}, r);
        bytes.append(r, kRecordSize);
    }
    return bytes;
}

// Answers the next message with the button of this caption and keeps its text.
void answerMessage(const QString& caption, QString* text = nullptr) {
    onNextModal([caption, text](QWidget* w) {
        auto* box = qobject_cast<frmMessageDialog*>(w);
        ASSERT_NE(box, nullptr) << "no message came";
        if (text) *text = box->Meldung()->text();
        for (QPushButton* b : box->findChildren<QPushButton*>()) {
            if (b->isVisible() && b->text().remove('&') == caption) {
                b->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << caption.toStdString();
        box->reject();
    });
}

struct SelectionTest : ::testing::Test {
    QTemporaryDir dir;
    SettingsStore settings{dir.path() + "/settings", "TradomirVQS"};
    QString folder = dir.path() + "/Dax 30";
    SelectionTest() { QDir().mkpath(folder); }
};

TEST_F(SelectionTest, ListsDataFilesLongerThanTheHeaderByTheirHeaderFields) {
    DateiKopf alt;  // written before the long fields existed
    alt.setField(kopf::kKennung, kKennung);
    alt.setField(kopf::kTitelname, "Alte Aktie " + QString(50, 'x'));
    alt.setField(kopf::kKurzcode, "A1B2C3-G-BRAVOL-ETR");
    test::writeFile(folder + "/nur-kopf.VQS",
                    content(buildHeader(test::mercedesBenz(), kBezahlt), 0));
    test::writeFile(folder + "/710000-BRAVOL-ETR.vqs",
                    content(buildHeader(test::mercedesBenz(), kBezahlt), 1));
    test::writeFile(folder + "/A1B2C3-G-BRAVOLX9.VQS", content(alt, 3));

    FrmPLVRealtimeTitel d(settings);
    d.Katalogliste()->setFolderPath(folder);
    QTreeWidget* list = d.Titelliste();
    EXPECT_EQ(d.objectName(), "FrmPLVRealtimeTitel");
    EXPECT_EQ(child<QLabel>(&d, "PfadFeld")->text(),
              QDir::toNativeSeparators(folder + "/").toLower() + " ");
    ASSERT_EQ(list->topLevelItemCount(), 2) << "the 856-byte file is not listed";
    list->sortItems(0, Qt::AscendingOrder);
    EXPECT_EQ(list->topLevelItem(0)->text(0), ("Alte Aktie " + QString(50, 'x')).left(50));
    EXPECT_EQ(list->topLevelItem(0)->text(1), "A1B2C3-G-BRAVOL-ET") << "cut to 18 bytes";
    EXPECT_EQ(list->topLevelItem(1)->text(0), "Mercedes-Benz (ETR)");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "710000-BRAVOL-ETR");

    // The row leads to the real file, whatever its code says.
    list->topLevelItem(0)->setSelected(true);
    EXPECT_EQ(d.selectedPaths(), QStringList{folder + "/A1B2C3-G-BRAVOLX9.VQS"});

    d.Katalogliste()->setFolderPath(dir.path() + "/fehlt");
    EXPECT_EQ(list->topLevelItemCount(), 0);
}

// A file of the folder that cannot be read is named with its reason; the others are listed.
TEST_F(SelectionTest, AFileThatCannotBeReadIsNamed) {
    test::writeFile(folder + "/710000-BRAVOL-ETR.VQS",
                    content(buildHeader(test::mercedesBenz(), kBezahlt), 1));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "/kaputt.VQS").constData(), 0600), 0);
    FrmPLVRealtimeTitel d(settings);
    QString said;
    answerMessage("OK", &said);
    d.Katalogliste()->setFolderPath(folder);
    EXPECT_EQ(said, "Fehler beim Wechseln des VQS-Pfades aufgetreten: " +
                        QDir::toNativeSeparators(folder + "/kaputt.VQS") +
                        ": Unter dem Namen steht keine gewöhnliche Datei");
    EXPECT_EQ(d.Titelliste()->topLevelItemCount(), 1);
}

TEST_F(SelectionTest, OkayCancelAndTheCloseBox) {
    FrmPLVRealtimeTitel d(settings);
    d.Katalogliste()->setFolderPath(folder);
    d.show();
    QString said;
    answerMessage("OK", &said);
    child<QPushButton>(&d, "Okay")->click();
    EXPECT_EQ(said, "Es sind keine Titel ausgewählt!");
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Rejected);

    test::writeFile(folder + "/a.VQS", content(buildHeader(test::mercedesBenz(), kBezahlt), 1));
    test::writeFile(folder + "/b.VQS", content(buildHeader(test::mercedesBenz(), kGeld), 1));
    d.folderChanged(folder);
    ASSERT_EQ(d.Titelliste()->topLevelItemCount(), 2);
    answerMessage("Nein", &said);
    child<QPushButton>(&d, "Okay")->click();
    EXPECT_EQ(said, "Möchten Sie alle Titel aus diesem Verzeichnis auswählen?");
    EXPECT_TRUE(d.isVisible());
    answerMessage("Ja");
    child<QPushButton>(&d, "Okay")->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.selectedPaths().size(), 2);

    d.show();
    answerMessage("Nein", &said);
    test::closeFromTitleBar(&d);
    EXPECT_EQ(said, "Einstellungen verwerfen?");
    EXPECT_TRUE(d.isVisible());
    answerMessage("Ja");
    test::closeFromTitleBar(&d);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Rejected);
}

struct DateninspektorTest : ::testing::Test {
    QTemporaryDir dir;
    DataFileStore store;
    QString path;
    Dateninspektor inspektor{store};
    DateninspektorTest() {
        store.setRoot(dir.path());
        QDir().mkpath(dir.path() + "/Dax 30");
        path = store.filePath(test::mercedesBenz(), kBezahlt);
    }
    // The recorder appends a tick 1e-5 days after the last, and the window takes it in.
    double zeit = kDay + 0.5;
    void tick(InspektorFenster& w) {
        zeit += 1e-5;
        ASSERT_EQ(store.append(test::mercedesBenz(), kBezahlt, {zeit, 200.0f, 1}),
                  Appended::kWritten);
        w.refresh();
    }
    // The data file with `records` ticks `step` apart, in a window laid out at 1000 × 600.
    InspektorFenster* openLaidOut(int records, double step = 1.0 / 86400) {
        test::writeFile(path, content(buildHeader(test::mercedesBenz(), kBezahlt), records, step));
        InspektorFenster* w = inspektor.open(path, nullptr);
        w->resize(1000, 600);
        QApplication::processEvents();
        return w;
    }
};

TEST_F(DateninspektorTest, ARefusedFileIsNamedAndLeftAlone) {
    QByteArray foreign = content(buildHeader(test::mercedesBenz(), kBezahlt), 5);
    foreign.replace(0, 3, "XYZ");
    test::writeFile(path, foreign);
    try {
        inspektor.open(path, nullptr);
        FAIL() << "a foreign file was opened";
    } catch (const VqsError& e) {
        EXPECT_TRUE(e.message().contains("keine Tradomir-Datendatei")) << e.message().toStdString();
    }
    EXPECT_EQ(test::readFile(path), foreign);
    EXPECT_TRUE(inspektor.windows().empty());
}

TEST_F(DateninspektorTest, OpenEditUndoSaveWhileTicksComeIn) {
    test::writeFile(path, content(buildHeader(test::mercedesBenz(), kBezahlt), 50));
    InspektorFenster* w = inspektor.open(path, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(inspektor.open(path, nullptr), w) << "one window per file";
    EXPECT_EQ(child<QLabel>(w, "Titel")->text(), "Mercedes-Benz (ETR)");
    EXPECT_EQ(child<QLabel>(w, "WKN")->text(), "710000-BRAVOL-ETR");
    EXPECT_EQ(child<QLabel>(w, "Kursart")->text(), "Bezahlt");
    EXPECT_EQ(child<QLabel>(w, "Anzahl")->text(), QLocale().toString(50));
    EXPECT_EQ(child<QLabel>(w, "Fehler")->text(), "Fehler: 0");
    KursModell& m = w->model();
    EXPECT_EQ(m.index(3, KursModell::kZeit).data().toString(), "10.12.2026 09:36:03.000");

    // A price, a time out of order, undo and redo.
    ASSERT_TRUE(m.setData(m.index(2, KursModell::kKurs), "123.25", Qt::EditRole));
    ASSERT_TRUE(m.setData(m.index(5, KursModell::kZeit), "10.12.2026 09:00:00.000", Qt::EditRole));
    EXPECT_FALSE(m.setData(m.index(5, KursModell::kKurs), "teuer", Qt::EditRole));
    EXPECT_EQ(child<QLabel>(w, "Fehler")->text(), "Fehler: 1");
    EXPECT_TRUE(m.index(5, 0).data(Qt::BackgroundRole).isValid()) << "the faulty row is marked";
    w->undoStack().undo();
    EXPECT_EQ(child<QLabel>(w, "Fehler")->text(), "Fehler: 0");
    w->undoStack().redo();
    w->undoStack().undo();
    w->table().selectRow(10);
    w->deleteMarked();
    EXPECT_EQ(m.rowCount(), 49);

    // The recorder appends meanwhile: the rows come at the end, and the save keeps them.
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(store.append(test::mercedesBenz(), kBezahlt, {kDay + 0.5 + i * 1e-5, 200.0f, 1}),
                  Appended::kWritten);
    w->refresh();
    EXPECT_EQ(m.rowCount(), 52);
    EXPECT_EQ(m.index(51, KursModell::kKurs).data().toString(), QLocale().toString(200.0));
    ASSERT_EQ(store.append(test::mercedesBenz(), kBezahlt, {kDay + 0.6, 300.0f, 1}),
              Appended::kWritten);
    ASSERT_TRUE(w->save());
    EXPECT_TRUE(w->undoStack().isClean());
    const QByteArray saved = test::readFile(path);
    ASSERT_EQ(saved.size(), kHeaderSize + 53 * kRecordSize);
    EXPECT_EQ(decodeKursSatz(saved.constData() + kHeaderSize + 2 * kRecordSize).Kurs, 123.25f);
    EXPECT_EQ(decodeKursSatz(saved.constData() + kHeaderSize + 10 * kRecordSize).Kurs, 111.0f)
        << "record 10 deleted";
    EXPECT_EQ(decodeKursSatz(saved.constData() + saved.size() - kRecordSize).Kurs, 300.0f);
    EXPECT_EQ(m.rowCount(), 53);

    // Undo after the save is an edit like any other.
    w->undoStack().undo();
    EXPECT_EQ(m.rowCount(), 54);
    EXPECT_FALSE(w->undoStack().isClean());
    answerMessage("Nein");
    w->close();
}

// Undo and redo by their keys (Ctrl+Y and the platform's own redo keys); the title shows unsaved
// edits; the redo button says that a new edit drops the steps undone.
TEST_F(DateninspektorTest, RedoKeysTheTitlesMarkAndWhatANewEditDrops) {
    InspektorFenster* w = openLaidOut(20);
    w->show();
    QApplication::setActiveWindow(w);
    KursModell& m = w->model();
    auto* wieder = w->findChild<QAction*>("Wiederholen");
    ASSERT_NE(wieder, nullptr);
    EXPECT_TRUE(w->windowTitle().endsWith("[*]"));
    EXPECT_FALSE(w->isWindowModified());
    ASSERT_TRUE(m.setData(m.index(2, KursModell::kKurs), "123", Qt::EditRole));
    EXPECT_TRUE(w->isWindowModified());
    const QString edited = m.index(2, KursModell::kKurs).data().toString();
    for (const QKeySequence& redo :
         {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}) {
        QTest::keySequence(w, QKeySequence(Qt::CTRL | Qt::Key_Z));
        EXPECT_NE(m.index(2, KursModell::kKurs).data().toString(), edited);
        EXPECT_FALSE(w->isWindowModified());
        EXPECT_TRUE(wieder->toolTip().contains("verwirft")) << wieder->toolTip().toStdString();
        QTest::keySequence(w, redo);
        EXPECT_EQ(m.index(2, KursModell::kKurs).data().toString(), edited)
            << redo.toString().toStdString();
    }
    EXPECT_FALSE(wieder->toolTip().contains("verwirft"));
    answerMessage("Nein");
    w->close();
}

TEST_F(DateninspektorTest, DeletingMarkedRunsAndUndoGiveBackEveryRecordInItsPlace) {
    test::writeFile(path, content(buildHeader(test::mercedesBenz(), kBezahlt), 40));
    InspektorFenster* w = inspektor.open(path, nullptr);
    DataFileDocument& doc = w->document();
    std::vector<KursSatz> before;
    for (int i = 0; i < 40; ++i) before.push_back(doc.record(i));
    w->table().selectRow(3);
    for (int row : {4, 5, 20, 30, 31, 39}) w->table().mark(row, row);
    w->deleteMarked();
    ASSERT_EQ(doc.count(), 33);
    EXPECT_EQ(doc.record(3), before[6]);
    EXPECT_EQ(doc.record(17), before[21]);
    EXPECT_EQ(doc.record(25), before[29]);
    EXPECT_EQ(doc.record(26), before[32]);
    EXPECT_EQ(doc.record(32), before[38]);
    w->undoStack().undo();
    ASSERT_EQ(doc.count(), 40);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(doc.record(i), before[i]) << i;
    w->undoStack().redo();
    EXPECT_EQ(doc.count(), 33);
    answerMessage("Nein");
    w->close();
}

TEST(ZeilenMarken, RunsMergeSplitAndMoveWithTheRows) {
    using Laeufe = std::vector<std::pair<std::int64_t, std::int64_t>>;
    auto laeufe = [](const ZeilenMarken& m) {
        Laeufe out;
        for (const ZeilenLauf& l : m.laeufe()) out.emplace_back(l.first, l.last);
        return out;
    };
    ZeilenMarken m;
    m.mark(10, 12);
    m.mark(20, 20);
    m.mark(13, 14);  // touching: one run
    EXPECT_EQ(laeufe(m), (Laeufe{{10, 14}, {20, 20}}));
    m.mark(16, 9);  // either order, swallows what it covers
    EXPECT_EQ(laeufe(m), (Laeufe{{9, 16}, {20, 20}}));
    EXPECT_TRUE(m.contains(9) && m.contains(16) && m.contains(20));
    EXPECT_FALSE(m.contains(8) || m.contains(17) || m.contains(21));
    m.unmark(12, 13);
    EXPECT_EQ(laeufe(m), (Laeufe{{9, 11}, {14, 16}, {20, 20}}));
    m.inserted(15, 2);  // new rows inside a run are not marked
    EXPECT_EQ(laeufe(m), (Laeufe{{9, 11}, {14, 14}, {17, 18}, {22, 22}}));
    m.removed(12, 2);  // unmarked rows go: row 14 moves up to the run before it
    EXPECT_EQ(laeufe(m), (Laeufe{{9, 12}, {15, 16}, {20, 20}}));
    m.removed(12, 3);  // the gap goes: the runs meet
    EXPECT_EQ(laeufe(m), (Laeufe{{9, 13}, {17, 17}}));
}

TEST_F(DateninspektorTest, TheTableMarksLikeAListAndEditsInPlace) {
    InspektorFenster* w = openLaidOut(200);
    KursTabelle& t = w->table();
    EXPECT_EQ(t.currentRow(), 199) << "the latest record first";
    EXPECT_TRUE(t.showsLastRow());
    QWidget* rows = t.viewport();

    // Click, Ctrl+click, Shift+click, Shift+Down, Ctrl+A.
    t.scrollToRow(20);
    QApplication::processEvents();
    auto click = [&](std::int64_t row, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(rows, Qt::LeftButton, mods, t.cellRect(row, KursModell::kKurs).center());
    };
    auto marked = [&] {
        std::vector<std::pair<std::int64_t, std::int64_t>> out;
        for (const ZeilenLauf& l : t.marken().laeufe()) out.emplace_back(l.first, l.last);
        return out;
    };
    using Runs = std::vector<std::pair<std::int64_t, std::int64_t>>;
    click(15);
    EXPECT_EQ(marked(), (Runs{{15, 15}}));
    EXPECT_EQ(t.currentRow(), 15);
    click(18, Qt::ControlModifier);
    EXPECT_EQ(marked(), (Runs{{15, 15}, {18, 18}}));
    click(22, Qt::ShiftModifier);  // from the last click on, the others dropped
    EXPECT_EQ(marked(), (Runs{{18, 22}}));
    QTest::keyClick(&t, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(marked(), (Runs{{18, 23}}));
    click(18, Qt::ControlModifier);
    EXPECT_EQ(marked(), (Runs{{19, 23}}));
    QTest::keyClick(&t, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(marked(), (Runs{{0, 199}}));
    QTest::keyClick(&t, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(t.currentRow(), 199);
    EXPECT_TRUE(t.showsLastRow());
    QTest::keyClick(&t, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(t.currentRow(), 0);
    EXPECT_EQ(t.verticalScrollBar()->value(), 0);

    // Marked rows are deleted as runs; undo brings them back, unmarked where they were.
    click(3);
    click(5, Qt::ShiftModifier);
    click(9, Qt::ControlModifier);
    w->deleteMarked();
    EXPECT_EQ(w->model().rowCount(), 196);
    EXPECT_TRUE(t.marken().empty());
    w->undoStack().undo();
    EXPECT_EQ(w->model().rowCount(), 200);
    EXPECT_EQ(w->document().record(9).Kurs, 109.0f);

    // A double click edits the cell: Enter takes the text through the undo stack, text that is
    // no value leaves the record as it was, Escape leaves it too.
    const int before = w->undoStack().index();
    QTest::mouseDClick(rows, Qt::LeftButton, {}, t.cellRect(7, KursModell::kKurs).center());
    ASSERT_NE(t.editor(), nullptr);
    EXPECT_EQ(t.editor()->text(), QLocale().toString(107.0));
    t.editor()->setText(QLocale().toString(99.5));
    QTest::keyClick(t.editor(), Qt::Key_Return);
    EXPECT_EQ(t.editor(), nullptr);
    EXPECT_EQ(w->document().record(7).Kurs, 99.5f);
    EXPECT_EQ(w->undoStack().index(), before + 1);
    t.edit(7, KursModell::kVolume);
    t.editor()->setText("viel");
    QString said;
    answerMessage("OK", &said);
    QTest::keyClick(t.editor(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(said, "„viel“ ist kein gültiger Wert für Volumen; der Satz bleibt, wie er war.");
    EXPECT_EQ(w->document().record(7).Volume, 10.0f);
    EXPECT_EQ(w->undoStack().index(), before + 1);
    ASSERT_NE(t.editor(), nullptr) << "the text comes back to be mended";
    EXPECT_EQ(t.editor()->text(), "viel");
    QTest::keyClick(t.editor(), Qt::Key_Escape);
    t.edit(7, KursModell::kVolume);
    t.editor()->setText("77");
    QTest::keyClick(t.editor(), Qt::Key_Escape);
    EXPECT_EQ(t.editor(), nullptr);
    EXPECT_EQ(w->document().record(7).Volume, 10.0f);
    QTest::keyClick(&t, Qt::Key_F2);  // the current cell
    ASSERT_NE(t.editor(), nullptr);
    QTest::keyClick(t.editor(), Qt::Key_Escape);
    answerMessage("Nein");
    w->close();
}

TEST_F(DateninspektorTest, TheViewFollowsTheFileUntilTheUserTakesIt) {
    InspektorFenster* w = openLaidOut(200);
    KursTabelle& t = w->table();
    auto* ende = child<QPushButton>(w, "EndeAnzeigen");
    for (int round = 0; round < 3; ++round) {  // again and again, not only the first time
        tick(*w);
        EXPECT_TRUE(t.showsLastRow()) << round;
        EXPECT_GT(w->chart().toZeit(), zeit) << "the chart grows with the file";
        EXPECT_LT(w->chart().fromZeit(), kDay + 0.4) << "and still shows all of it";
    }
    EXPECT_TRUE(ende->isHidden());
    // Zoomed in on the end, the chart moves on with its span.
    KursChart& chart = w->chart();
    chart.setRange(zeit - 2e-5, zeit + 1e-6);
    const double span = chart.toZeit() - chart.fromZeit();
    tick(*w);
    EXPECT_GT(chart.toZeit(), zeit);
    EXPECT_NEAR(chart.toZeit() - chart.fromZeit(), span, 1e-9);
    EXPECT_EQ(t.currentRow(), 199) << "the current row stays where it was";

    // Editing stops the following: the editor stays on its record, the rows stay in place.
    t.edit(201, KursModell::kKurs);
    ASSERT_NE(t.editor(), nullptr);
    const int scrolled = t.verticalScrollBar()->value();
    const QRect cell = t.editor()->geometry();
    t.editor()->setText(QLocale().toString(201.5));
    tick(*w);
    tick(*w);
    EXPECT_FALSE(w->followsEnd());
    EXPECT_EQ(t.verticalScrollBar()->value(), scrolled);
    ASSERT_NE(t.editor(), nullptr) << "still editing";
    EXPECT_EQ(t.editor()->geometry(), cell);
    EXPECT_EQ(w->document().record(201).Kurs, 200.0f);
    EXPECT_FALSE(ende->isHidden());
    EXPECT_EQ(ende->text(), "Neue Sätze: 2 – Ende anzeigen");
    QTest::keyClick(t.editor(), Qt::Key_Return);
    EXPECT_EQ(w->document().record(201).Kurs, 201.5f);
    EXPECT_EQ(w->document().record(203).Kurs, 200.0f);

    // The button shows the end and follows it again.
    ende->click();
    EXPECT_TRUE(ende->isHidden());
    EXPECT_TRUE(t.showsLastRow());
    tick(*w);
    EXPECT_TRUE(t.showsLastRow());
    EXPECT_EQ(w->model().rowCount(), 207);
    answerMessage("Nein");
    w->close();
}

// What a trader does while ticks come: click a row, double click it a moment later, scroll away
// with the wheel, come back with End. Nothing moves under the pointer.
TEST_F(DateninspektorTest, RowsStayUnderThePointerWhileTicksCome) {
    InspektorFenster* w = openLaidOut(300);
    w->show();
    QApplication::setActiveWindow(w);
    KursTabelle& t = w->table();
    tick(*w);
    ASSERT_TRUE(w->followsEnd());
    const QPoint at = t.cellRect(290, KursModell::kKurs).center();
    QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(t.currentRow(), 290);
    EXPECT_FALSE(w->followsEnd()) << "choosing a row stops the following";
    tick(*w);
    tick(*w);
    QTest::mouseDClick(t.viewport(), Qt::LeftButton, {}, at);
    ASSERT_NE(t.editor(), nullptr);
    EXPECT_EQ(t.editor()->text(), QLocale().toString(390.0)) << "record 290, not a later one";
    QTest::keyClick(t.editor(), Qt::Key_Escape);

    QTest::keyClick(&t, Qt::Key_End, Qt::ControlModifier);
    EXPECT_TRUE(w->followsEnd());
    EXPECT_EQ(t.currentRow(), w->model().rowCount() - 1);
    tick(*w);
    EXPECT_TRUE(t.showsLastRow());

    // The wheel scrolls away and the view stays there.
    QWheelEvent up(QPointF(at), t.viewport()->mapToGlobal(QPointF(at)), {}, QPoint(0, 120),
                   Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(t.viewport(), &up);
    const int scrolled = t.verticalScrollBar()->value();
    EXPECT_LT(scrolled, t.verticalScrollBar()->maximum());
    EXPECT_FALSE(w->followsEnd());
    tick(*w);
    EXPECT_EQ(t.verticalScrollBar()->value(), scrolled);
    EXPECT_EQ(child<QPushButton>(w, "EndeAnzeigen")->text(), "Neue Sätze: 1 – Ende anzeigen");
    w->close();
}

TEST_F(DateninspektorTest, ALargeFileShowsAtOnceAndItsCountsAndChartWhenItHasBeenRead) {
    // Large enough to be read on threads of its own; one record out of order.
    QByteArray bytes = content(buildHeader(test::mercedesBenz(), kBezahlt), 8 * 65536 + 10, 1e-6);
    const KursSatz early{kDay + 0.1, 99.0f, 1};
    encodeKursSatz(early, bytes.data() + kHeaderSize + 1000 * kRecordSize);
    test::writeFile(path, bytes);
    InspektorFenster* w = inspektor.open(path, nullptr);
    ASSERT_NE(w, nullptr);
    KursModell& m = w->model();
    // At once: the rows, not yet the faults and the chart; nothing can be changed meanwhile.
    EXPECT_FALSE(w->document().isRead()) << "the pass ends in the event loop, not before";
    EXPECT_EQ(m.rowCount(), 8 * 65536 + 10);
    EXPECT_EQ(m.index(1000, KursModell::kKurs).data().toString(), QLocale().toString(99.0));
    EXPECT_EQ(child<QLabel>(w, "Fehler")->text(), "Fehler: …");
    w->chart().repaint();
    EXPECT_EQ(w->chart().drawnColumns(), 0);
    w->table().edit(5, KursModell::kKurs);
    EXPECT_EQ(w->table().editor(), nullptr);
    w->insertRecord();
    EXPECT_FALSE(m.setData(m.index(5, KursModell::kKurs), "1", Qt::EditRole));
    EXPECT_EQ(m.rowCount(), 8 * 65536 + 10);

    while (!w->document().isRead()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(child<QLabel>(w, "Fehler")->text(), "Fehler: 1");
    w->chart().repaint();
    EXPECT_GT(w->chart().drawnColumns(), 0);
    EXPECT_TRUE(m.setData(m.index(5, KursModell::kKurs), "1", Qt::EditRole));
    answerMessage("Nein");
    w->close();
    QCoreApplication::processEvents();

    // A window closed while its file is read: the pass stops, its end finds no window.
    w = inspektor.open(path, nullptr);
    ASSERT_FALSE(w->document().isRead());
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_EQ(std::count_if(inspektor.windows().begin(), inspektor.windows().end(),
                            [](const auto& p) { return !p.isNull(); }),
              0);
}

TEST_F(DateninspektorTest, TheChartZoomsAroundThePointerAndPansByDragging) {
    InspektorFenster* w = openLaidOut(1000);
    KursChart& chart = w->chart();
    const double from = chart.fromZeit(), to = chart.toZeit();
    const QPoint at = chart.plotRect().center() + QPoint(chart.plotRect().width() / 4, 0);
    const double zeitAt =
        from + (to - from) * (at.x() - chart.plotRect().left()) / chart.plotRect().width();
    QWheelEvent wheel(at, chart.mapToGlobal(at), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(&chart, &wheel);
    EXPECT_NEAR(chart.toZeit() - chart.fromZeit(), (to - from) * 0.8, 1e-9);
    EXPECT_NEAR(chart.fromZeit() + (chart.toZeit() - chart.fromZeit()) *
                                       (at.x() - chart.plotRect().left()) /
                                       chart.plotRect().width(),
                zeitAt, 1e-9)
        << "the time under the pointer stays there";

    // A drag to the right by a tenth of the plot shows a tenth of the span earlier.
    const double span = chart.toZeit() - chart.fromZeit(), start = chart.fromZeit();
    const QPoint p0 = chart.plotRect().center();
    const QPoint p1 = p0 + QPoint(chart.plotRect().width() / 10, 0);
    QTest::mousePress(&chart, Qt::LeftButton, {}, p0);
    QMouseEvent move(QEvent::MouseMove, p1, chart.mapToGlobal(p1), Qt::NoButton, Qt::LeftButton,
                     {});
    QApplication::sendEvent(&chart, &move);
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, p1);
    EXPECT_NEAR(chart.fromZeit(), start - span * (p1.x() - p0.x()) / chart.plotRect().width(),
                1e-9);
    EXPECT_EQ(w->table().currentRow(), 999) << "a drag chooses no record";
    chart.repaint();
    EXPECT_GT(chart.drawnColumns(), 0);
    w->close();
}

TEST_F(DateninspektorTest, AClickIntoTheChartChoosesItsRecordAndGoToTimeFindsOne) {
    InspektorFenster* w = openLaidOut(10, 10.0 / 86400);  // the chart takes its width
    KursChart& chart = w->chart();
    chart.repaint();
    EXPECT_EQ(chart.drawnColumns(), 10) << "one column per record at the chart's width";
    const KursSatz seventh = w->document().record(7);
    QTest::mouseClick(&chart, Qt::LeftButton, {}, chart.pointOf(seventh.Zeit - 1e-6, seventh.Kurs));
    EXPECT_EQ(w->table().currentRow(), 7);

    w->goToTime(w->document().record(3).Zeit - 1e-7);
    EXPECT_EQ(w->table().currentRow(), 3);
    w->close();
}

// Whatever a record holds, it is shown as it stands, marked as a fault where it is one, and the
// chart draws around it: no zero span, no count from outside the nameable dates.
TEST_F(DateninspektorTest, HostileRecordsShowAsTheyAreAndTheChartDrawsAroundThem) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr float kFloatMax = std::numeric_limits<float>::max();
    const std::vector<KursSatz> hostile = {
        {-1e308, 1, 1},
        {kDay + 0.4, kFloatMax, 1},
        {kDay + 0.41, -kFloatMax, 1e-40f},
        {kDay + 0.42, 1e-40f, kFloatMax},
        {1e308, 2, 2},
        {kNaN, 3, 3},
        {kInf, 4, 4},
        {-kInf, 5, 5},
        {4.9e-324, 6, 6},  // a subnormal time: a time of day only, midnight
        {kDay + 0.43, std::numeric_limits<float>::quiet_NaN(),
         std::numeric_limits<float>::infinity()},
    };
    // Alone, among ordinary records, and as the only record.
    for (const auto& records : {hostile, std::vector<KursSatz>{{1e308, 1, 1}},
                                std::vector<KursSatz>{{kNaN, 1, 1}, {-1e308, 2, 2}}}) {
        test::writeFile(path, QByteArray(buildHeader(test::mercedesBenz(), kBezahlt).bytes.data(),
                                         kHeaderSize) +
                                  test::encodeRecords(records));
        InspektorFenster* w = inspektor.open(path, nullptr);
        ASSERT_NE(w, nullptr);
        w->resize(1000, 600);
        w->show();
        QApplication::processEvents();
        KursChart& chart = w->chart();
        chart.showAll();
        chart.repaint();
        // Zoomed out as far as it goes, and in again.
        for (int turn = 0; turn < 80; ++turn) {
            const QPoint at = chart.plotRect().center();
            QWheelEvent wheel(at, chart.mapToGlobal(at), {}, {0, turn < 40 ? -1200 : 1200},
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&chart, &wheel);
            chart.repaint();
        }
        EXPECT_GE(chart.fromZeit(), kFirstSerial);
        EXPECT_LE(chart.toZeit(), kEndSerial);
        w->close();
        QCoreApplication::processEvents();
    }
    // The table names each value as it is; the faults are what they are.
    test::writeFile(
        path, QByteArray(buildHeader(test::mercedesBenz(), kBezahlt).bytes.data(), kHeaderSize) +
                  test::encodeRecords(hostile));
    InspektorFenster* w = inspektor.open(path, nullptr);
    KursModell& m = w->model();
    EXPECT_EQ(m.index(0, KursModell::kZeit).data().toString(), "-1e+308");
    EXPECT_EQ(m.index(4, KursModell::kZeit).data().toString(), "1e+308");
    EXPECT_EQ(m.index(5, KursModell::kZeit).data().toString(), "nan");
    EXPECT_EQ(m.index(8, KursModell::kZeit).data().toString(), "30.12.1899 00:00:00.000");
    for (int row : {0, 4, 5, 6, 7, 9}) EXPECT_TRUE(w->document().isFaulty(row)) << row;
    for (int row : {1, 2, 3}) EXPECT_FALSE(w->document().isFaulty(row)) << row;
    w->close();
}

}  // namespace
}  // namespace vqs
