#include "gui/shell/message_dialog.h"

#include "gui/gui_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace vqs {
namespace {

using test::onNextModal;

// Shows a message and acts on its dialog; returns the result code.
int answer(const QString& text, int style, std::function<void(frmMessageDialog*)> act) {
    onNextModal([act](QWidget* w) { act(qobject_cast<frmMessageDialog*>(w)); });
    return ShowMessage(text, style, nullptr);
}

QStringList visibleCaptions(frmMessageDialog* d) {
    QStringList captions;
    for (int i = 0; i < 3; ++i)
        if (d->btn(i)->isVisible()) captions << d->btn(i)->text();
    return captions;
}

TEST(MessageDialog, ButtonSetsCaptionsAndKeyResults) {
    struct Case {
        int style;
        QStringList captions;
        int enter;
        int escape;  // 0: Esc does nothing, closed by the frame instead
    } cases[] = {
        {0, {"OK"}, 1, 1},
        {1, {"OK", "Abbrechen"}, 1, 2},
        {2, {"Abbrechen", "Ignorieren"}, 3, 3},
        {3, {"Ja", "Nein", "Abbrechen"}, 6, 2},
        {4, {"Ja", "Nein"}, 6, 7},
        {5, {"Wiederholen", "Abbrechen"}, 4, 2},
        {7, {"OK"}, 1, 0},
        {4 | msg::kDefaultButton2, {"Ja", "Nein"}, 7, 7},
        {3 | msg::kDefaultButton3, {"Ja", "Nein", "Abbrechen"}, 2, 2},
    };
    for (const Case& c : cases) {
        QStringList shown;
        int enter = answer("Eine Frage?", c.style, [&](frmMessageDialog* d) {
            shown = visibleCaptions(d);
            QTest::keyClick(d, Qt::Key_Return);
        });
        EXPECT_EQ(shown, c.captions) << c.style;
        EXPECT_EQ(enter, c.enter) << c.style;
        int escape = answer("Eine Frage?", c.style, [](frmMessageDialog* d) {
            QTest::keyClick(d, Qt::Key_Escape);
            if (d->isVisible()) d->close();  // Esc did nothing: leave through the frame
        });
        EXPECT_EQ(escape, c.escape) << c.style;
    }
}

TEST(MessageDialog, ClickResultsAndFocusOfTheDefaultButton) {
    EXPECT_EQ(answer("?", 4, [](frmMessageDialog* d) { d->btn(1)->click(); }), msg::kResultNein);
    EXPECT_EQ(answer("?", 2, [](frmMessageDialog* d) { d->btn(1)->click(); }), msg::kResultIgnore);
    QWidget* focused = nullptr;
    answer("?", 4 | msg::kDefaultButton2, [&](frmMessageDialog* d) {
        focused = d->focusWidget();
        EXPECT_EQ(focused, d->btn(1));
        d->btn(0)->click();
    });
    EXPECT_EQ(answer("?", 0, [](frmMessageDialog* d) { d->close(); }), msg::kResultNone)
        << "closed through the frame: no answer";
}

TEST(MessageDialog, SizeFollowsTheText) {
    int shortWidth = 0, firstLeft = 0, oneLine = 0, threeLines = 0;
    answer("Kurz.", 0, [&](frmMessageDialog* d) {
        shortWidth = d->width();
        firstLeft = d->btn(0)->x();
        oneLine = d->height();
        d->btn(0)->click();
    });
    // One OK button, 10 pixels right of the centre.
    EXPECT_EQ(firstLeft, static_cast<int>(std::nearbyint((shortWidth - 89) / 2.0)) + 10);
    answer("Kurz.\nZweite Zeile\nDritte Zeile", 0, [&](frmMessageDialog* d) {
        threeLines = d->height();
        EXPECT_EQ(d->Meldung()->x(), 56);
        EXPECT_EQ(d->Meldung()->y(), 16);
        EXPECT_EQ(d->btn(0)->y(), 16 + d->Meldung()->height() + 25);
        d->btn(0)->click();
    });
    EXPECT_GT(threeLines, oneLine + 20);

    answer(QString(200, QLatin1Char('W')) + " und noch viel mehr Text, der umbrechen muss.", 4,
           [](frmMessageDialog* d) {
               EXPECT_EQ(d->width(), 600);
               EXPECT_EQ(d->Meldung()->width(), 500);
               EXPECT_EQ(d->btn(0)->size(), d->btn(1)->size());
               d->btn(0)->click();
           });
}

TEST(MessageDialog, AMinimizedMainWindowGetsTheSystemBox) {
    QWidget mainWindow;
    mainWindow.showMinimized();
    QString title;
    onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(ShowMessage("Beenden?", 4, &mainWindow), msg::kResultNein);
    EXPECT_EQ(title, "Tradomir");
}

}  // namespace
}  // namespace vqs
