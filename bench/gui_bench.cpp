// What the user waits for in the windows: the monitor under a stream of quotes, listing a
// catalogue or a search result of 5000 instruments, and the title management of 10000 titles. Runs
// on Qt's offscreen platform.
#include "broker/simulated_broker.h"
#include "gui/shell/main_window.h"
#include "gui/titles/titel_auswahl_dialog.h"
#include "gui/titles/titel_verwaltung_dialog.h"
#include "recording/recorder.h"
#include "titles/titel_objekt.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>

namespace {

struct Program {
    QTemporaryDir dir;
    vqs::SystemClock clock;
    vqs::SettingsStore settings{dir.path() + "/config", "bench"};
    std::unique_ptr<vqs::broker::SimulatedBroker> broker;
    vqs::Recorder recorder{dir.path(), settings, clock, [this] { return broker->createSession(); }};
    vqs::Bravolt_Hauptfenster window{recorder};

    Program() {
        broker = std::make_unique<vqs::broker::SimulatedBroker>(vqs::broker::SimulationSettings{},
                                                                clock);
        recorder.prepareDataFolder();
        recorder.login();
        window.show();
    }
};

// Made on first use and gone before the application is: windows must not outlive it.
std::unique_ptr<Program> gProgram;
Program& program() {
    if (!gProgram) gProgram = std::make_unique<Program>();
    return *gProgram;
}

vqs::TitelDef titel(int i) {
    vqs::TitelDef d;
    d.RT_WKN = d.WKN = program().broker->market().instruments()[static_cast<size_t>(i)].wkn;
    d.Name = program().broker->market().instruments()[static_cast<size_t>(i)].name;
    d.Ordner = "Bench";
    d.RT_Boerse = "ETR";
    d.Aktiv = true;
    d.NeueNamen = true;
    return d;
}

// 1000 monitor entries, then the event loop paints them.
void bmPer1000MonitorEntries(benchmark::State& state) {
    Program& p = program();
    if (!p.window.monitorOpen()) p.window.btnProtokoll_Click();
    const vqs::TitelDef d = titel(0);
    int n = 0;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i)
            p.window.Protokolleintrag(d, i % 3, 100.0f + (n++ % 50) * 0.01f, 100, 0.4);
        QCoreApplication::processEvents();
    }
}

// Rounds of 1000 quote updates for 300 recording titles, made before any is timed; every update
// is new to change detection, so each becomes a tick. The first round creates the files.
constexpr int kRounds = 601;
constexpr int kTimedRoundsPerRun = 60;

struct QuoteRounds {
    std::vector<vqs::TitelObjekt*> titles;
    std::vector<std::vector<vqs::broker::Quote>> rounds;
    int next = 0;

    explicit QuoteRounds(Program& p) {
        for (int i = 0; i < 300; ++i) {
            const vqs::TitelDef d = titel(i);
            p.recorder.titles().add(d);
            p.recorder.titles().startRecording(d);
            titles.push_back(p.recorder.titles().titleObjects().find(d.id().text())->get());
        }
        const QTime base = QTime::currentTime();
        long tick = 0;
        for (int r = 0; r < kRounds; ++r) {
            std::vector<vqs::broker::Quote> quotes(1000);
            for (auto& q : quotes) {
                const QTime t = base.addMSecs(tick / 300);
                q.paid.present = q.paid.volumePresent = true;
                q.paid.price = 100 + (tick % 50) * 0.01;
                q.paid.volume = static_cast<double>(100 + tick % 7);
                q.paid.time = {t.hour(), t.minute(), t.second(), t.msec(),
                               t.toString("HH:mm:ss.zzz")};
                ++tick;
            }
            rounds.push_back(std::move(quotes));
        }
        play();  // files made, first updates seen
    }
    void play() {
        const std::vector<vqs::broker::Quote>& quotes = rounds[static_cast<size_t>(next)];
        const size_t first = static_cast<size_t>(next) * quotes.size();
        for (size_t i = 0; i < quotes.size(); ++i)
            titles[(first + i) % titles.size()]->RealtimeSubscription_OnQuoteUpdate(quotes[i], {},
                                                                                    {});
        ++next;
    }
};

// 1000 quote updates of 300 recording titles with the monitor open (1) or closed (0): change
// detection, counter, monitor, data files, and the event loop.
void bmPer1000QuotesMonitorOpen(benchmark::State& state) {
    Program& p = program();
    static QuoteRounds quotes(p);
    if (p.window.monitorOpen() != (state.range(0) != 0)) p.window.btnProtokoll_Click();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        quotes.play();
        QCoreApplication::processEvents();
    }
}

void bmListSearchResultOf5000(benchmark::State& state) {
    Program& p = program();
    vqs::frmTitelauswahl dialog(p.recorder);
    dialog.show();
    std::vector<vqs::broker::Instrument> result =
        p.recorder.session().SF()->search({"e", std::nullopt});
    result.resize(5000);
    for (auto _ : state) {
        dialog.ShowSuchergebnisTitel(result);
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = dialog.titelliste()->topLevelItemCount();
}

void bmListCatalogue(benchmark::State& state) {
    Program& p = program();
    vqs::frmTitelauswahl dialog(p.recorder);
    dialog.show();
    dialog.katalogliste()->setCurrentItem(dialog.katalogliste()->topLevelItem(3));  // SDax
    for (auto _ : state) {
        dialog.ShowTitelinKatalog();
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = dialog.titelliste()->topLevelItemCount();
}

// 10000 inactive definitions in four folders, besides what the benchmarks before defined.
void defineTenThousand(Program& p) {
    static bool done = false;
    if (done) return;
    done = true;
    for (int i = 0; i < 10000; ++i) {
        vqs::TitelDef d;
        d.RT_WKN = d.WKN = QStringLiteral("T%1").arg(i, 5, 10, QLatin1Char('0'));
        d.Name = QStringLiteral("Titel %1").arg((i * 7919) % 10000);
        d.Ordner = QStringLiteral("Ordner %1").arg(i % 4);
        d.RT_Boerse = "ETR";
        d.NeueNamen = true;
        p.recorder.titles().add(d);
    }
}

// Opening the title management on "Alle Titel" until the list is painted.
void bmOpenTitelverwaltungOf10000(benchmark::State& state) {
    Program& p = program();
    defineTenThousand(p);
    int rows = 0;
    for (auto _ : state) {
        vqs::frmTitelverwaltung dialog(p.recorder, {});
        dialog.show();
        QCoreApplication::processEvents();
        rows = dialog.titelliste()->model()->rowCount();
    }
    state.counters["rows"] = rows;
}

// A click on the name column's header of that list, until it is painted.
void bmSortTitelverwaltungOf10000(benchmark::State& state) {
    Program& p = program();
    defineTenThousand(p);
    vqs::frmTitelverwaltung dialog(p.recorder, {});
    dialog.show();
    int column = 1;
    for (auto _ : state) {
        dialog.titelliste()->sortByColumn(column, Qt::AscendingOrder);
        QCoreApplication::processEvents();
        column = column == 1 ? 2 : 1;
    }
}

}  // namespace

BENCHMARK(bmPer1000MonitorEntries)->Unit(benchmark::kMillisecond);
BENCHMARK(bmPer1000QuotesMonitorOpen)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(kTimedRoundsPerRun)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(bmListSearchResultOf5000)->Unit(benchmark::kMillisecond);
BENCHMARK(bmListCatalogue)->Unit(benchmark::kMillisecond);
BENCHMARK(bmOpenTitelverwaltungOf10000)->Unit(benchmark::kMillisecond);
BENCHMARK(bmSortTitelverwaltungOf10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gProgram.reset();
    return 0;
}
