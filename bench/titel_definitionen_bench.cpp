// Loading a definitions file of 900,000 titles (1,000 of them active, the rest with ordinary
// names) into the title registry, as both programs do at start-up (without a broker, so that
// nothing is subscribed), and saving it back. Counters: the file's size, the memory the
// loaded titles keep (resident after the load less before) and the most the load held at once
// (peak resident less before), and the process's resident and peak memory.
#include "bench_support.h"

#include "broker/bravolt_session.h"
#include "common/ui_ports.h"
#include "titles/titel_definitionen_datei.h"
#include "titles/titel_registry.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr int kDefined = 900'000;
constexpr int kActive = 1'000;

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
double statusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1));
    return 0;
}

// The peak resident memory starts again from what is resident now.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

class NoMessages final : public vqs::MessagePresenter {
public:
    int ShowMessage(const QString&, int) override { return 0; }
};

class NoTicks final : public vqs::TickSink {
public:
    void tick(const vqs::TitelId&, vqs::Kursart, float, float, double) override {}
    std::optional<vqs::KursSatz> lastRecorded(const vqs::TitelDef&, vqs::Kursart) override {
        return std::nullopt;
    }
};

class NoProgress final : public vqs::TitelLoadProgress {};

QString definitionsFile() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString file = dir.path() + QStringLiteral("/Bravolt_Titel.Dat");
        vqs::writeTitelDefinitionenFile(file,
                                        *vqs::bench::scaleDefinitions(kActive, kDefined, false));
        return file;
    }();
    return path;
}

struct Loaded {
    vqs::SystemClock clock;
    NoMessages messages;
    vqs::BravoltSession session{{}, [this]() -> vqs::MessagePresenter& { return messages; }};
    NoTicks sink;
    vqs::TitelRegistry registry{session, sink, clock};
};

void bmLoadDefinitions(benchmark::State& state) {
    const QString path = definitionsFile();
    for (auto _ : state) {
        state.PauseTiming();
        auto loaded = std::make_unique<Loaded>();
        malloc_trim(0);
        resetPeak();
        const double before = statusKb("VmRSS");
        state.ResumeTiming();

        vqs::TitelDefinitionenDatei file(path, loaded->clock);
        NoProgress progress;
        const vqs::TitelLoadResult result = file.load(loaded->registry, false, progress);

        state.PauseTiming();
        if (result.definitions != kDefined || !result.problem.isEmpty())
            state.SkipWithError(qPrintable(
                QStringLiteral("%1 geladen: %2").arg(result.definitions).arg(result.problem)));
        state.counters["file_MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
        state.counters["kept_MB"] = (statusKb("VmRSS") - before) / 1024;
        state.counters["peak_MB"] = (statusKb("VmHWM") - before) / 1024;
        state.counters["process_rss_MB"] = statusKb("VmRSS") / 1024;
        state.counters["process_peak_MB"] = statusKb("VmHWM") / 1024;
        loaded.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(bmLoadDefinitions)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void bmSaveDefinitions(benchmark::State& state) {
    const QString path = definitionsFile();
    Loaded loaded;
    vqs::TitelDefinitionenDatei file(path, loaded.clock);
    NoProgress progress;
    file.load(loaded.registry, false, progress);
    QTemporaryDir dir;
    const QString copy = dir.path() + QStringLiteral("/Bravolt_Titel.Dat");
    for (auto _ : state) vqs::writeTitelDefinitionenFile(copy, loaded.registry.definitions());
    state.counters["file_MB"] = static_cast<double>(QFileInfo(copy).size()) / 1e6;
}
BENCHMARK(bmSaveDefinitions)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
