// Opening a data file of 5 million records in the Dateninspektor until its table and chart are
// ready, against reading the same file once with plain reads; and one chart repaint after a zoom.
#include "bench_support.h"

#include "datafiles/data_file_document.h"
#include "datafiles/data_file_store.h"
#include "gui/dateninspektor/dateninspektor.h"
#include "gui/dateninspektor/kurs_chart.h"
#include "gui/dateninspektor/kurs_modell.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kRecords = 5'000'000;
QTemporaryDir* folder = nullptr;
QString path;

void prepare() {
    folder = new QTemporaryDir;
    path = folder->path() + "/710000-BRAVOL-ETR.VQS";
    vqs::TitelDef def;
    def.RT_WKN = def.WKN = "710000";
    def.Name = "Mercedes-Benz";
    def.RT_Boerse = "ETR";
    def.NeueNamen = true;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) std::abort();
    f.write(vqs::buildHeader(def, vqs::kBezahlt).bytes.data(), vqs::kHeaderSize);
    QByteArray chunk;
    for (int i = 0; i < kRecords; ++i) {
        char r[vqs::kRecordSize];
        vqs::encodeKursSatz({46366.3 + i * 1e-6, 100.0f + static_cast<float>(i % 1000) * 0.01f,
                             static_cast<float>(i % 50)},
                            r);
        chunk.append(r, vqs::kRecordSize);
        if (chunk.size() >= (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
}

void bmPlainRead(benchmark::State& state) {
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        long total = 0;
        ssize_t got;
        while ((got = ::read(fd, buffer.data(), buffer.size())) > 0) total += got;
        ::close(fd);
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations());
}

// Opens the file as the program does, until table and chart are drawn.
void openWindow(vqs::Dateninspektor& inspektor) {
    vqs::InspektorFenster* window = inspektor.open(path, nullptr);
    window->resize(1100, 700);
    // Laid out and painted: the table at once, the chart when the file has been read.
    while (window->chart().drawnColumns() == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    benchmark::DoNotOptimize(window->model().rowCount());
    delete window;
}

void bmDateninspektorOpen(benchmark::State& state) {
    vqs::DataFileStore store;
    vqs::Dateninspektor inspektor(store);
    for (auto _ : state) openWindow(inspektor);
    state.SetItemsProcessed(state.iterations());
}

// The document alone: the opening pass.
void bmDocumentOpen(benchmark::State& state) {
    for (auto _ : state) {
        auto doc = vqs::DataFileDocument::open(path).value();
        benchmark::DoNotOptimize(doc->faultCount());
        // Which way the pass ran: every block of this file is usual, so all should be fast.
        state.counters["fast_blocks_%"] = 100.0 * static_cast<double>(doc->usualBlocks()) /
                                          static_cast<double>(doc->blocks().size());
    }
    state.SetItemsProcessed(state.iterations());
}

// The chart's columns of the whole file.
void bmDecimateAll(benchmark::State& state) {
    auto doc = vqs::DataFileDocument::open(path).value();
    for (auto _ : state) {
        auto cols = doc->decimate(doc->record(0).Zeit, doc->record(kRecords - 1).Zeit, 1000);
        benchmark::DoNotOptimize(cols.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// A zoom to a tenth of the day, then the repaint.
void bmZoomRepaint(benchmark::State& state) {
    vqs::DataFileStore store;
    vqs::InspektorFenster window(vqs::DataFileDocument::open(path).value(), store);
    window.resize(1100, 700);
    window.show();
    QCoreApplication::processEvents();
    vqs::KursChart& chart = window.chart();
    const double from = chart.fromZeit(), span = chart.toZeit() - from;
    int step = 0;
    for (auto _ : state) {
        const double lower = from + span / 10 * (step++ % 9);
        chart.setRange(lower, lower + span / 10);  // decimated by the paint
        chart.repaint();
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(bmPlainRead)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bmDateninspektorOpen)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bmPlainRead)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bmDateninspektorOpen)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bmPlainRead)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bmDateninspektorOpen)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bmDocumentOpen)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bmDecimateAll)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bmZoomRepaint)->Iterations(500)->UseRealTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepare();
    {
        // What a running program has done once before: fonts, style and glyphs loaded.
        vqs::DataFileStore store;
        vqs::Dateninspektor inspektor(store);
        openWindow(inspektor);
    }
    const int result =
        vqs::bench::runAndCompare(argc, argv, "bmDateninspektorOpen", "bmPlainRead", true);
    delete folder;
    return result;
}
