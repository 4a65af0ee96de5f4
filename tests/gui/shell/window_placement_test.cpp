#include "gui/shell/window_placement.h"

#include "recording/settings_store.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace vqs {
namespace {

TEST(WindowPlacement, ColumnWidthsOfAListSurviveAReopening) {
    QTemporaryDir dir;
    SettingsStore store(dir.path(), "TradomirVQS");
    auto makeList = [] {
        auto list = std::make_unique<QTreeWidget>();
        list->setColumnCount(2);
        list->headerItem()->setData(0, Qt::UserRole, QStringLiteral("Titel"));
        list->headerItem()->setData(1, Qt::UserRole, QStringLiteral("WKN"));
        list->setColumnWidth(0, 200);
        list->setColumnWidth(1, 80);
        return list;
    };
    auto first = makeList();
    first->setColumnWidth(0, 333);
    SaveColumnWidths(first.get(), store, "VQSFileSelect");

    auto second = makeList();
    RestoreColumnWidths(second.get(), store, "VQSFileSelect");
    EXPECT_EQ(second->columnWidth(0), 333);
    EXPECT_EQ(second->columnWidth(1), 80);
}

// A window opened over a small one near a screen's edge, or larger than the screen, lies whole
// on the screen: never with its title bar above the top.
TEST(WindowPlacement, AWindowFitsWholeOnItsScreen) {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        const char* what;
        QSize size;
        QPoint center;
    } cases[] = {
        {"over a window at the top", {700, 400}, available.topLeft() + QPoint(200, 40)},
        {"over a window at the bottom right", {700, 400}, available.bottomRight()},
        {"larger than the screen", available.size() + QSize(300, 200), available.center()},
        {"off every screen", {300, 200}, {-5000, -5000}},
    };
    for (const Case& c : cases) {
        QWidget w;
        w.resize(c.size);
        fitOnScreen(&w, c.center);
        EXPECT_TRUE(available.contains(w.frameGeometry())) << c.what;
        w.show();
        EXPECT_TRUE(available.contains(w.frameGeometry()))
            << c.what << " " << w.frameGeometry().x() << "," << w.frameGeometry().y() << " "
            << w.frameGeometry().width() << "x" << w.frameGeometry().height() << " in "
            << available.width() << "x" << available.height();
    }
}

TEST(WindowPlacement, CountSelectedItemsCountsMarkedRows) {
    QTreeWidget list;
    list.setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (int i = 0; i < 5; ++i) new QTreeWidgetItem(&list, QStringList{QString::number(i)});
    list.topLevelItem(1)->setSelected(true);
    list.topLevelItem(3)->setSelected(true);
    EXPECT_EQ(CountSelectedItems(&list), 2);
    EXPECT_EQ(CountSelectedItems(nullptr), 0);
}

TEST(WindowPlacement, AWindowComesBackWhereItWasClosed) {
    QTemporaryDir dir;
    SettingsStore store(dir.path(), "TradomirVQS");
    QWidget first;
    first.setGeometry(120, 90, 640, 480);
    first.show();
    SaveWindowPos(&first, store, "RealtimeTitel");

    QWidget second;
    second.resize(300, 200);
    RestoreWindowPos(&second, store, "RealtimeTitel");
    EXPECT_EQ(second.geometry(), first.geometry());
}

// Stored and restored as the same rectangle, the main window stays where it was, start after
// start, also when it was stored before its frame was known.
TEST(WindowPlacement, TheMainWindowDoesNotCreepFromStartToStart) {
    QTemporaryDir dir;
    SettingsStore store(dir.path(), "TradomirVQS");
    const QString section = "VQS-Bravolt-Programmfenster";
    QPoint where;
    for (int start = 0; start < 4; ++start) {
        QWidget w;
        w.resize(580, 162);
        RestoreMainWindowPos(&w, store, section);
        SaveWindowPos(&w, store, section);  // as a resize before the first show does
        w.show();
        QCoreApplication::processEvents();
        if (start == 0) {
            w.move(100, 120);
            QCoreApplication::processEvents();
            where = w.geometry().topLeft();
        }
        EXPECT_EQ(w.geometry().topLeft(), where) << "start " << start;
        SaveWindowPos(&w, store, section);
    }
}

}  // namespace
}  // namespace vqs
