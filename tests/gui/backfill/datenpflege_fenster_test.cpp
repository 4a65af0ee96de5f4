#include "gui/backfill/datenpflege_fenster.h"

#include "broker/fake_broker.h"
#include "broker/simulated_broker.h"
#include "gui/gui_support.h"
#include "gui/shell/help_viewer.h"
#include "recording/settings_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QShowEvent>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest/QTest>

#include <functional>

namespace vqs {
namespace {

using test::child;
using test::onNextModal;

using Leave = std::function<void(QDialog*)>;

struct LeaveCase {
    const char* name;
    Leave leave;
};

// The ways out of a dialog that confirm nothing.
const LeaveCase kCancels[] = {
    {"Abbrechen", [](QDialog* d) { child<QPushButton>(d, "Abbruch")->click(); }},
    {"close box", [](QDialog* d) { test::closeFromTitleBar(d); }},
    {"Escape", [](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); }},
};

// Acts on a modal dialog that the action should close; one left open fails instead of hanging.
void onNextModalClosing(const Leave& action) {
    onNextModal([action](QWidget* d) {
        auto* dialog = static_cast<QDialog*>(d);
        action(dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the dialog is still open";
            dialog->done(QDialog::Rejected);
        }
    });
}

QTime shownTime(const QWidget* dialog) { return child<QTimeEdit>(dialog, "Zeitfeld")->time(); }

class DatenpflegeOptionenTest : public ::testing::Test {
protected:
    // Opens the dialog as the caller does: the time is stored only when the run is started.
    int open(const Leave& act) {
        frmDatenpflegeOptionen dialog(settings_);
        onNextModalClosing(act);
        const int code = dialog.exec();
        if (code == QDialog::Accepted) dialog.speichern(settings_);
        return code;
    }
    QString stored() const { return readSetting(settings_, settings::kBravoltUhrzeit, "(none)"); }

    QTemporaryDir dir_;
    SettingsStore settings_{dir_.path(), QStringLiteral("TradomirVQS")};
};

TEST_F(DatenpflegeOptionenTest, OnlyStartingStoresTheTimeAndTheNextOpeningShowsIt) {
    for (const LeaveCase& c : kCancels) {
        const int code = open([&](QDialog* d) {
            EXPECT_EQ(shownTime(d), QTime(0, 0)) << c.name;
            child<QTimeEdit>(d, "Zeitfeld")->setTime(QTime(9, 30));
            c.leave(d);
        });
        EXPECT_EQ(code, QDialog::Rejected) << c.name;
        EXPECT_EQ(stored(), "(none)") << c.name;
    }

    EXPECT_EQ(open([](QDialog* d) {
                  child<QTimeEdit>(d, "Zeitfeld")->setTime(QTime(9, 30));
                  child<QPushButton>(d, "Okay")->click();
              }),
              QDialog::Accepted);
    EXPECT_EQ(stored(), "0.3958333333333333");

    open([](QDialog* d) {
        EXPECT_EQ(shownTime(d), QTime(9, 30));
        EXPECT_EQ(static_cast<frmDatenpflegeOptionen*>(d)->startzeit(), 9.5 / 24);
        child<QTimeEdit>(d, "Zeitfeld")->setTime(QTime(14, 0));
        child<QPushButton>(d, "Abbruch")->click();
    });
    EXPECT_EQ(stored(), "0.3958333333333333");
}

TEST_F(DatenpflegeOptionenTest, StoredTextReadsAsTimeOfDay) {
    const struct {
        const char* text;
        QTime shown;
    } cases[] = {
        {"", QTime(0, 0)},
        {"abc", QTime(0, 0)},
        {"0.5", QTime(12, 0)},
        {"0,75", QTime(18, 0)},
        {"0.3958333333333333", QTime(9, 30)},
        {"0,3958333333333333", QTime(9, 30)},
        {"45000.25", QTime(6, 0)},  // a date with its time
        {"0.396", QTime(9, 30)},    // 09:30:14: the field has no seconds
        {"0.9999999", QTime(0, 0)},
        {"-0.25", QTime(6, 0)},  // before the calendar's day 0
    };
    for (const auto& c : cases) {
        writeSetting(settings_, settings::kBravoltUhrzeit, QString::fromUtf8(c.text));
        frmDatenpflegeOptionen dialog(settings_);
        EXPECT_EQ(shownTime(&dialog), c.shown) << c.text;
        EXPECT_EQ(dialog.startzeit(), c.shown.msecsSinceStartOfDay() / 86400000.0) << c.text;
    }
}

TEST(KursartWahl, ConfirmsTheCheckedKindAndDoubleClickConfirmsAtOnce) {
    const struct {
        const char* name;
        Leave leave;
        int code;
        Kursart kind;
    } cases[] = {
        {"OK at once", [](QDialog* d) { child<QPushButton>(d, "Okay")->click(); },
         QDialog::Accepted, kBezahlt},
        {"Geld, OK",
         [](QDialog* d) {
             child<QRadioButton>(d, "optKursart(1)")->click();
             child<QPushButton>(d, "Okay")->click();
         },
         QDialog::Accepted, kGeld},
        {"double-click Brief",
         [](QDialog* d) {
             QTest::mouseDClick(child<QRadioButton>(d, "optKursart(2)"), Qt::LeftButton);
         },
         QDialog::Accepted, kBrief},
        {"double-click Bezahlt after Geld",
         [](QDialog* d) {
             child<QRadioButton>(d, "optKursart(1)")->click();
             QTest::mouseDClick(child<QRadioButton>(d, "optKursart(0)"), Qt::LeftButton);
         },
         QDialog::Accepted, kBezahlt},
        {"Abbrechen", kCancels[0].leave, QDialog::Rejected, kBezahlt},
        {"close box", kCancels[1].leave, QDialog::Rejected, kBezahlt},
        {"Escape", kCancels[2].leave, QDialog::Rejected, kBezahlt},
    };
    for (const auto& c : cases) {
        frmKursartWahl dialog;
        onNextModalClosing(c.leave);
        EXPECT_EQ(dialog.exec(), c.code) << c.name;
        EXPECT_EQ(dialog.kursart(), c.kind) << c.name;
    }
}

class DatenpflegeFortschrittTest : public ::testing::Test {
protected:
    using Body = std::function<DatenpflegeResult(
        frmDatenpflegeFortschritt&, const std::vector<TitelDef>&, double, DatenpflegeProgress&)>;

    // A window over `titles` from `startzeit` whose run counts its calls and does what `body`
    // says.
    void makeWindow(Body body, std::vector<TitelDef> titles = {}, double startzeit = 0) {
        window_ = std::make_unique<frmDatenpflegeFortschritt>(
            messages_,
            [this, body = std::move(body)](const std::vector<TitelDef>& given, double from,
                                           DatenpflegeProgress& p) {
                ++calls_;
                return body(*window_, given, from, p);
            },
            std::move(titles), startzeit);
    }
    QLabel* label(const char* name) const { return child<QLabel>(window_.get(), name); }
    QPushButton* abbruch() const { return child<QPushButton>(window_.get(), "btnAbbruch"); }

    test::RecordingMessages messages_;
    std::unique_ptr<frmDatenpflegeFortschritt> window_;
    int calls_ = 0;
};

// Hands what the run reports on to the window and looks at the window's lines at each yield.
struct Looking final : DatenpflegeProgress {
    Looking(DatenpflegeProgress& window, std::function<void()> look)
        : window_(window), look_(std::move(look)) {}
    void titel(const QString& t) override { window_.titel(t); }
    void status(const QString& t) override { window_.status(t); }
    void kursart(const QString& t) override { window_.kursart(t); }
    void datum(const QString& t) override { window_.datum(t); }
    void progressMaximum(int m) override { window_.progressMaximum(m); }
    void progress(int v) override { window_.progress(v); }
    void cancelEnabled(bool e) override { window_.cancelEnabled(e); }
    bool cancelRequested() override { return window_.cancelRequested(); }
    bool tellError(const QString& t) override { return window_.tellError(t); }
    void yield() override {
        window_.yield();
        look_();
    }

private:
    DatenpflegeProgress& window_;
    std::function<void()> look_;
};

// The window over a real run on the simulated broker: its lines say what the run does, with the
// run's own texts, and it ends with the run's result.
TEST_F(DatenpflegeFortschrittTest, ShowsWhatARealRunDoesAndEndsWithItsResult) {
    broker::SimulationSettings simulation;
    simulation.quotesPerSecond = 1;
    test::SimulatedContext t(simulation);
    t.clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 30)));
    ASSERT_TRUE(t.loginWith());
    std::vector<TitelDef> titles;
    for (const broker::Identifier& id : *t.broker().market().catalogue("Dax30")) {
        if (titles.size() == 2) break;
        TitelDef d = test::titel(id.code, "Dax 30");
        d.RT_Boerse = id.exchange;
        d.Name = "Aktie " + id.code;
        titles.push_back(d);
    }
    TitelDef unknown = test::titel("UNBEKANNT", "Dax 30");
    titles.push_back(unknown);

    QSet<QString> seen;
    makeWindow(
        [&](frmDatenpflegeFortschritt&, const std::vector<TitelDef>& given, double startzeit,
            DatenpflegeProgress& p) {
            Looking looking(p, [&] {
                seen << QStringList{label("Titellabel")->text(), label("Statuslabel")->text(),
                                    label("Kursartlabel")->text(), label("Datumlabel")->text()}
                            .join(" | ");
            });
            return t.recorder.datenpflege().run(given, startzeit, looking);
        },
        titles, 0.375);  // from 09:00
    EXPECT_EQ(window_->exec(), QDialog::Accepted);
    EXPECT_EQ(calls_, 1);
    const QString first = "Titel: Aktie " + titles[0].WKN;
    EXPECT_TRUE(seen.contains(first + " | Status: Daten laden, bitte warten... |  | "
                                      "Datum: 10.12.2026 09:00:00"))
        << seen.values().join("\n").toStdString();
    EXPECT_TRUE(seen.contains(first + " | Status: Daten abfragen | Kursart: Bezahlt | "
                                      "Datum: 10.12.2026 09:00:00"))
        << seen.values().join("\n").toStdString();
    EXPECT_EQ(window_->result().merged, 2);
    EXPECT_EQ(window_->result().skipped, QStringList{"UNBEKANNT"});
    EXPECT_TRUE(messages_.shown.empty());
}

// A run that fails at a step tells it with its prefix: without a connection, the first title.
TEST_F(DatenpflegeFortschrittTest, AFailingStepIsToldWithItsPrefix) {
    test::TestContext t([] { return std::make_unique<test::FakeBrokerSession>(); });
    makeWindow(
        [&](frmDatenpflegeFortschritt&, const std::vector<TitelDef>& given, double startzeit,
            DatenpflegeProgress& p) { return t.recorder.datenpflege().run(given, startzeit, p); },
        {test::mercedesBenz()});
    EXPECT_EQ(window_->exec(), QDialog::Accepted);
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_EQ(t.messages.shown[0].text,
              "Fehler bei Kurspflege aufgetreten: Keine Verbindung zur Bravolt-API.");
    EXPECT_EQ(window_->result().error, "Keine Verbindung zur Bravolt-API.");
}

TEST_F(DatenpflegeFortschrittTest, CancellingAsksAndOnlyJaCancelsWhileTheWindowStays) {
    const LeaveCase ways[] = {
        {"btnAbbruch", [](QDialog* d) { child<QPushButton>(d, "btnAbbruch")->click(); }},
        {"close box", [](QDialog* d) { test::closeFromTitleBar(d); }},
    };
    for (const LeaveCase& way : ways) {
        messages_.shown.clear();
        calls_ = 0;
        makeWindow([&](frmDatenpflegeFortschritt& w, const std::vector<TitelDef>&, double,
                       DatenpflegeProgress& p) {
            const struct {
                int answer;
                bool cancelled;
            } steps[] = {{msg::kResultNein, false}, {msg::kResultJa, true}};
            for (const auto& step : steps) {
                messages_.answerNext(step.answer);
                way.leave(&w);
                EXPECT_EQ(w.abbruch(), step.cancelled) << way.name;
                EXPECT_EQ(p.cancelRequested(), step.cancelled) << way.name;
                EXPECT_TRUE(w.isVisible()) << way.name;
            }
            DatenpflegeResult result;
            result.cancelled = true;
            return result;
        });
        window_->exec();
        ASSERT_EQ(messages_.shown.size(), 2u) << way.name;
        for (const auto& shown : messages_.shown) {
            EXPECT_EQ(shown.text, "Datenpflege jetzt abbrechen?") << way.name;
            EXPECT_EQ(shown.style, msg::kYesNo) << way.name;
        }
        EXPECT_EQ(calls_, 1) << way.name;
        EXPECT_FALSE(window_->isVisible()) << way.name;
        EXPECT_TRUE(window_->result().cancelled) << way.name;
    }
}

TEST_F(DatenpflegeFortschrittTest, RunsOnceAndOnlyTheRunEndsTheWindow) {
    makeWindow([&](frmDatenpflegeFortschritt& w, const std::vector<TitelDef>&, double,
                   DatenpflegeProgress& p) {
        QShowEvent shownAgain;  // as when restored from the taskbar
        QCoreApplication::sendEvent(&w, &shownAgain);
        QTest::keyClick(&w, Qt::Key_Escape);
        p.yield();
        EXPECT_EQ(calls_, 1);
        EXPECT_TRUE(w.isVisible());
        EXPECT_TRUE(messages_.shown.empty());
        DatenpflegeResult result;
        result.merged = 3;
        return result;
    });
    // The caller's hourglass is gone when the window ends.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    EXPECT_EQ(window_->exec(), QDialog::Accepted);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window_->result().merged, 3);

    // Shown again after its end, it has nothing left to do.
    EXPECT_EQ(window_->exec(), QDialog::Accepted);
    EXPECT_EQ(calls_, 1);
    EXPECT_EQ(window_->result().merged, 3);
}

TEST_F(DatenpflegeFortschrittTest, CancelledBeforeItIsShownItNeverRuns) {
    makeWindow([](frmDatenpflegeFortschritt&, const std::vector<TitelDef>&, double,
                  DatenpflegeProgress&) { return DatenpflegeResult{}; });
    window_->setAbbruch(true);
    EXPECT_EQ(window_->exec(), QDialog::Accepted);
    EXPECT_EQ(calls_, 0);
    EXPECT_TRUE(window_->result().cancelled);
}

TEST(DatenpflegeHilfe, EachWindowOpensItsTopic) {
    QTemporaryDir dir;
    test::RecordingMessages messages;
    frmDatenpflegeOptionen optionen(SettingsStore(dir.path(), QStringLiteral("TradomirVQS")));
    optionen.show();
    frmDatenpflegeFortschritt fortschritt(
        messages,
        [&](const std::vector<TitelDef>&, double, DatenpflegeProgress&) {
            QTest::keyClick(&fortschritt, Qt::Key_F1);
            return DatenpflegeResult{};
        },
        {}, 0);
    const struct {
        const char* name;
        QDialog* window;
        Leave ask;
        int topic;
    } cases[] = {
        {"Hilfe", &optionen, [](QDialog* d) { child<QPushButton>(d, "Hilfe")->click(); },
         help::kDatenpflegeOptionen},
        {"F1 in Zeitfeld", &optionen,
         [](QDialog* d) { QTest::keyClick(child<QTimeEdit>(d, "Zeitfeld"), Qt::Key_F1); },
         help::kDatenpflegeOptionen},
        {"F1 during the run", &fortschritt, [](QDialog* d) { static_cast<void>(d->exec()); },
         help::kDatenpflege},
    };
    for (const auto& c : cases) {
        c.ask(c.window);
        HelpViewer* viewer = findHelpViewer(c.window);
        ASSERT_NE(viewer, nullptr) << c.name;
        EXPECT_EQ(viewer->currentTopic(), QUrl(helpTopicUrl(c.topic))) << c.name;
        viewer->close();
    }
}

}  // namespace
}  // namespace vqs
