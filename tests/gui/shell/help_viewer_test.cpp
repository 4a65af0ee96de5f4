#include "gui/shell/help_viewer.h"

#include "gui/backfill/datenpflege_fenster.h"
#include "gui/dateninspektor/frm_plv_realtime_titel.h"
#include "gui/shell/main_window.h"
#include "gui/shell/small_dialogs.h"
#include "gui/titles/titel_auswahl_dialog.h"
#include "gui/titles/titel_verwaltung_dialog.h"
#include "recording/recorder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextBrowser>
#include <QWindow>
#include <QtTest/QTest>

#include <iterator>
#include <memory>

namespace vqs {
namespace {

struct Topic {
    int id;
    const char* caption;  // the caption of the window the topic describes, UTF-8
};

const Topic kTopics[] = {
    {help::kHauptfenster, "Tradomir VQS für Bravolt-API"},
    {help::kTitelauswahl, "Titel zur Aufzeichnung auswählen"},
    {help::kTitelverwaltung, "Titelverwaltung"},
    {help::kDateiauswahl, "Tradomir Realtime-Titel wählen"},
    {help::kDatenpflegeOptionen, "Datenpflege"},
    {help::kDatenpflege, "Tradomir VQS Datenpflege mit Bravolt"},
    {help::kDateninspektor, "Dateninspektor"},
    {help::kEinstellungen, "Allgemeine Einstellungen"},
};

QString fileName(int id) { return QStringLiteral("%1.html").arg(id); }

QString readTopic(const QString& url) {
    QFile file(QUrl(url).path().prepend(QLatin1Char(':')));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QSet<QString> linksOf(const QString& html) {
    QSet<QString> links;
    static const QRegularExpression href(QStringLiteral(R"re(href="([^"]+)")re"));
    for (const auto& m : href.globalMatch(html)) links.insert(m.captured(1));
    return links;
}

QTextBrowser* browserOf(QWidget* viewer) {
    return viewer->findChild<QTextBrowser*>(QStringLiteral("Hilfetext"));
}

QPushButton* button(QWidget* viewer, const QString& text) {
    for (auto* b : viewer->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

// Clicks the first link to `href` in the browser, the way the mouse does.
bool clickLink(QTextBrowser* browser, const QString& href) {
    QTextDocument* doc = browser->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().anchorHref() != href) continue;
            QTextCursor cursor(doc);
            cursor.setPosition(fragment.position() + 1);
            browser->setTextCursor(cursor);
            browser->ensureCursorVisible();
            const QPoint pos = browser->cursorRect(cursor).center();
            if (browser->anchorAt(pos) != href) return false;
            QMouseEvent press(QEvent::MouseButtonPress, pos, browser->viewport()->mapToGlobal(pos),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QMouseEvent release(QEvent::MouseButtonRelease, pos,
                                browser->viewport()->mapToGlobal(pos), Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QApplication::sendEvent(browser->viewport(), &press);
            QApplication::sendEvent(browser->viewport(), &release);
            return true;
        }
    }
    return false;
}

TEST(HelpViewer, EveryContextNumberHasItsOwnGermanTopic) {
    QSet<QString> urls;
    for (const Topic& t : kTopics) {
        SCOPED_TRACE(t.id);
        const QString url = helpTopicUrl(t.id);
        EXPECT_EQ(url, QStringLiteral("qrc:/help/") + fileName(t.id));
        urls.insert(url);
        const QString html = readTopic(url);
        ASSERT_FALSE(html.isEmpty());
        EXPECT_TRUE(html.contains(QString::fromUtf8(t.caption))) << t.caption;
        EXPECT_TRUE(html.contains(QStringLiteral("lang=\"de\"")));
        EXPECT_TRUE(html.contains(QStringLiteral("<h1>")));
    }
    EXPECT_EQ(urls.size(), static_cast<int>(std::size(kTopics)));
    EXPECT_FALSE(readTopic(helpTopicUrl(help::kInhalt)).isEmpty());
}

TEST(HelpViewer, ContentsLinkEveryTopicAndNoLinkIsBroken) {
    const QSet<QString> contentsLinks = linksOf(readTopic(helpTopicUrl(help::kInhalt)));
    for (const Topic& t : kTopics) EXPECT_TRUE(contentsLinks.contains(fileName(t.id))) << t.id;

    QList<int> all{help::kInhalt};
    for (const Topic& t : kTopics) all.append(t.id);
    for (int id : all) {
        for (const QString& link : linksOf(readTopic(helpTopicUrl(id)))) {
            SCOPED_TRACE(link.toStdString());
            EXPECT_TRUE(QFile::exists(QStringLiteral(":/help/") + link)) << "in topic " << id;
        }
    }
}

TEST(HelpViewer, UnknownNumberShowsTheContents) {
    const QString contents = QStringLiteral("qrc:/help/1.html");
    for (int id : {0, -1, 2, 999, 1001, 1450 + 1, 100000}) EXPECT_EQ(helpTopicUrl(id), contents);

    QWidget owner;
    HelpViewer* viewer = showHelp(&owner, 4711);
    EXPECT_EQ(viewer->currentTopic(), QUrl(contents));
}

TEST(HelpViewer, ShowHelpReusesOneViewerPerOwnerAndSwitchesTheTopic) {
    QWidget owner;
    auto* ownerButton = new QPushButton(QStringLiteral("Hilfe"), &owner);
    owner.show();

    HelpViewer* first = showHelp(&owner, help::kHauptfenster);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->isWindow());
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Tradomir VQS – Hilfe"));
    QTextBrowser* browser = browserOf(first);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->source(), QUrl(QStringLiteral("qrc:/help/1000.html")));
    // The rendered page shows the umlauts of the topic, not mojibake.
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Schaltflächen")));

    HelpViewer* second = showHelp(ownerButton, help::kTitelauswahl);
    EXPECT_EQ(second, first);
    EXPECT_EQ(findHelpViewer(&owner), first);
    EXPECT_EQ(owner.findChildren<HelpViewer*>().size(), 1);
    EXPECT_EQ(first->currentTopic(), QUrl(QStringLiteral("qrc:/help/1100.html")));
    EXPECT_TRUE(
        browser->toPlainText().contains(QStringLiteral("Titel zur Aufzeichnung auswählen")));

    // Esc closes the window; the next request brings the same viewer back.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(browser, &esc);
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(showHelp(&owner, help::kDateninspektor), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->currentTopic(), QUrl(QStringLiteral("qrc:/help/1500.html")));

    QWidget otherOwner;
    HelpViewer* other = showHelp(&otherOwner, help::kHauptfenster);
    EXPECT_NE(other, first);
    EXPECT_EQ(first->currentTopic(), QUrl(QStringLiteral("qrc:/help/1500.html")));
}

TEST(HelpViewer, StaysUsableBesideItsModalDialog) {
    QDialog dialog;
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);

    HelpViewer* viewer = showHelp(&dialog, help::kEinstellungen);
    ASSERT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->isWindow());
    EXPECT_EQ(viewer->windowModality(), Qt::NonModal);
    // Qt exempts the windows of the modal window's own family from its block.
    ASSERT_NE(viewer->windowHandle(), nullptr);
    EXPECT_TRUE(dialog.windowHandle()->isAncestorOf(viewer->windowHandle()));
    EXPECT_EQ(viewer->currentTopic(), QUrl(QStringLiteral("qrc:/help/520.html")));
}

TEST(HelpViewer, LinksAndButtonsNavigateBetweenTopics) {
    QWidget owner;
    HelpViewer* viewer = showHelp(&owner, help::kTitelverwaltung);
    QTextBrowser* browser = browserOf(viewer);
    QPushButton* back = button(viewer, QStringLiteral("Zurück"));
    QPushButton* forward = button(viewer, QStringLiteral("Vor"));
    QPushButton* contents = button(viewer, QStringLiteral("Inhalt"));
    QPushButton* close = button(viewer, QStringLiteral("Schließen"));
    ASSERT_TRUE(back && forward && contents && close);
    EXPECT_FALSE(back->isEnabled());

    ASSERT_TRUE(clickLink(browser, QStringLiteral("520.html")));
    EXPECT_EQ(viewer->currentTopic(), QUrl(QStringLiteral("qrc:/help/520.html")));
    EXPECT_TRUE(back->isEnabled());

    back->click();
    EXPECT_EQ(viewer->currentTopic(), QUrl(QStringLiteral("qrc:/help/1200.html")));
    EXPECT_TRUE(forward->isEnabled());
    forward->click();
    EXPECT_EQ(viewer->currentTopic(), QUrl(QStringLiteral("qrc:/help/520.html")));

    contents->click();
    EXPECT_EQ(viewer->currentTopic(), QUrl(QStringLiteral("qrc:/help/1.html")));
    ASSERT_TRUE(clickLink(browser, QStringLiteral("1450.html")));
    EXPECT_EQ(viewer->currentTopic(), QUrl(QStringLiteral("qrc:/help/1450.html")));

    close->click();
    EXPECT_FALSE(viewer->isVisible());
}

TEST(HelpKey, F1FromAControlOfTheWindowOpensItsTopic) {
    QDialog dialog;
    auto* field = new QLineEdit(&dialog);
    installHelpKey(&dialog, help::kTitelauswahl);
    dialog.show();

    QTest::keyClick(field, Qt::Key_F2);
    QTest::keyClick(field, Qt::Key_F1, Qt::ShiftModifier);  // F1 with any modifier
    HelpViewer* viewer = findHelpViewer(&dialog);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->currentTopic(), QUrl(helpTopicUrl(help::kTitelauswahl)));
    EXPECT_TRUE(dialog.isVisible());
}

TEST(HelpKey, EveryWindowOpensItsOwnTopic) {
    test::TestContext t;
    const struct {
        const char* name;
        std::unique_ptr<QWidget> window;
        int topic;
    } cases[] = {
        {"Hauptfenster", std::make_unique<Bravolt_Hauptfenster>(t.recorder), help::kHauptfenster},
        {"Einstellungen", std::make_unique<frmVQSEinstellungen>(t.recorder.options()),
         help::kEinstellungen},
        {"Titelauswahl", std::make_unique<frmTitelauswahl>(t.recorder), help::kTitelauswahl},
        {"Titelverwaltung",
         std::make_unique<frmTitelverwaltung>(t.recorder, frmTitelverwaltung::InspektorOeffnen{}),
         help::kTitelverwaltung},
        {"Dateiauswahl", std::make_unique<FrmPLVRealtimeTitel>(t.settings), help::kDateiauswahl},
        {"Datenpflege", std::make_unique<frmDatenpflegeOptionen>(t.settings),
         help::kDatenpflegeOptionen},
    };
    for (const auto& c : cases) {
        c.window->show();
        QTest::keyClick(c.window.get(), Qt::Key_F1);
        HelpViewer* viewer = findHelpViewer(c.window.get());
        ASSERT_NE(viewer, nullptr) << c.name;
        EXPECT_EQ(viewer->currentTopic(), QUrl(helpTopicUrl(c.topic))) << c.name;
        c.window->hide();
    }
}

}  // namespace
}  // namespace vqs
