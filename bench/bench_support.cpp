#include "bench_support.h"

#include "datafiles/datei_kopf.h"
#include "datafiles/naming.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

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
            if (it != run.counters.end()) rates[run.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

}  // namespace

int runAndCompare(int argc, char** argv, const char* ours, const char* baseline) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto find = [&](const char* prefix) -> double {
        for (const auto& [name, rate] : reporter.rates)
            if (name.rfind(prefix, 0) == 0) return rate;
        return 0;
    };
    const double a = find(ours), b = find(baseline);
    if (a > 0 && b > 0) {
        std::printf("\n%s: %.0f ticks/s\n%s: %.0f ticks/s\nratio: %.3f\n", ours, a, baseline, b,
                    a / b);
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

}  // namespace vqs::bench
