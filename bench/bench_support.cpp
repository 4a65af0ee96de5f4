#include "bench_support.h"

#include "broker/simulated_broker.h"
#include "datafiles/datei_kopf.h"
#include "datafiles/naming.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace vqs::bench {
namespace {

class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            auto it = run.counters.find("items_per_second");
            if (it != run.counters.end()) rates.push_back({run.benchmark_name(), it->second.value});
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::vector<std::pair<std::string, double>> rates;  // in the order they ran
};

}  // namespace

int runAndCompare(int argc, char** argv, const char* ours, const char* baseline, bool asTime) {
    return runAndCompare(argc, argv, {{ours, baseline}}, asTime);
}

int runAndCompare(int argc, char** argv, std::initializer_list<Comparison> comparisons,
                  bool asTime) {
    // A benchmark of windows brings its QApplication.
    std::optional<QCoreApplication> app;
    if (!QCoreApplication::instance()) app.emplace(argc, argv);
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Each run of ours against the baseline run just before it, so that a machine whose speed
    // drifts during the runs compares like with like; the median of those ratios is the result.
    const char* const what = asTime ? "time ratio" : "ratio";
    for (const Comparison& c : comparisons) {
        std::vector<double> ratios;
        double lastBaseline = 0;
        for (const auto& [name, rate] : reporter.rates) {
            if (name.rfind(c.baseline, 0) == 0) {
                lastBaseline = rate;
            } else if (name.rfind(c.ours, 0) == 0 && lastBaseline > 0 && rate > 0) {
                const double ratio = asTime ? lastBaseline / rate : rate / lastBaseline;
                std::printf("%s: %.0f/s, %s: %.0f/s, %s %.3f\n", c.ours, rate, c.baseline,
                            lastBaseline, what, ratio);
                ratios.push_back(ratio);
            }
        }
        if (ratios.empty()) continue;
        std::sort(ratios.begin(), ratios.end());
        if (comparisons.size() == 1)
            std::printf("median %s of %zu: %.3f\n", what, ratios.size(), ratios[ratios.size() / 2]);
        else
            std::printf("median %s of %zu, %s against %s: %.3f\n", what, ratios.size(), c.ours,
                        c.baseline, ratios[ratios.size() / 2]);
    }
    benchmark::Shutdown();
    return 0;
}

void plainAppend(const QByteArray& nativePath, double zeit) {
    int fd = ::open(nativePath.constData(), O_RDWR | O_APPEND);
    if (fd < 0) std::abort();
    char header[kHeaderSize];
    if (::pread(fd, header, sizeof header, 0) != kHeaderSize) std::abort();
    char record[kRecordSize];
    encodeKursSatz({zeit, 100.0f, 1.0f}, record);
    if (::write(fd, record, sizeof record) != kRecordSize) std::abort();
    ::close(fd);
}

std::vector<QByteArray> prepareDataFiles(const QString& root, int count) {
    std::vector<QByteArray> paths;
    for (int i = 0; i < count; ++i) {
        TitelDef d;
        d.RT_WKN = d.WKN = QStringLiteral("T%1").arg(i, 6, 10, QLatin1Char('0'));
        d.Name = d.WKN;
        d.Ordner = QStringLiteral("Bench");
        d.RT_Boerse = QStringLiteral("ETR");
        d.NeueNamen = true;
        QDir().mkpath(folderPath(root, d));
        const QString path = folderPath(root, d) + buildFileName(d, kBezahlt);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) std::abort();
        DateiKopf k = buildHeader(d, kBezahlt);
        f.write(k.bytes.data(), kHeaderSize);
        char record[kRecordSize];
        encodeKursSatz({46366.4, 100.0f, 1.0f}, record);
        f.write(record, kRecordSize);
        paths.push_back(QFile::encodeName(path));
    }
    return paths;
}

std::optional<TitelDefCollection> scaleDefinitions(int active, int defined, bool bidAsk) {
    const broker::SimulationSettings settings;  // the recorder's market without a seed
    const broker::SimulatedMarket market(settings.seed, settings.quotesPerSecond);
    TitelDefCollection defs;
    auto folder = [&] {
        return QStringLiteral("Ordner %1").arg(defs.size() / 100, 4, 10, QLatin1Char('0'));
    };
    for (const broker::Exchange& exchange : market.exchanges()) {
        if (!exchange.admitted) continue;
        for (const broker::SimInstrument& in : market.instruments()) {
            if (defs.size() >= active) break;
            TitelDef d;
            d.RT_WKN = d.WKN = in.wkn;
            d.Name = in.name;
            d.RT_Boerse = exchange.code;
            d.Ordner = folder();
            d.Aktiv = true;
            d.UseBidAsk = bidAsk && in.hasBidAsk;
            d.NeueNamen = true;
            defs.add(d);
        }
    }
    if (defs.size() < active) return std::nullopt;
    // Codes of six letters and digits beginning with "Q" (one the market has already is
    // skipped), names taken from the market in turn.
    const auto& instruments = market.instruments();
    const auto& exchanges = market.exchanges();
    for (qint64 n = 0; defs.size() < defined; ++n) {
        TitelDef d;
        d.RT_WKN = d.WKN =
            QLatin1Char('Q') + QString::number(n, 36).toUpper().rightJustified(5, QLatin1Char('0'));
        d.Name = instruments[static_cast<size_t>(n) % instruments.size()].name;
        d.RT_Boerse = exchanges[static_cast<size_t>(n / 7) % exchanges.size()].code;
        d.Ordner = folder();
        d.NeueNamen = true;
        defs.add(d);
    }
    return defs;
}

}  // namespace vqs::bench
