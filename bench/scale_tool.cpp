// The two halves of the scale script that need the program's own code:
//   scale_tool home <folder> <titles> <all|paid> [<defined>]
//       writes a home folder whose definitions hold <titles> active titles of the simulated
//       market (each instrument on each admitted exchange, in folders of 100 titles), and
//       inactive ones with ordinary names up to <defined> definitions in all;
//   scale_tool probe <data folder>
//       prints "<files> <records> <age of the newest record in seconds>".
#include "bench_support.h"
#include "common/serial_date.h"
#include "datafiles/datei_kopf.h"
#include "titles/titel_definitionen_datei.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cstdio>

namespace {

int writeHome(const QString& folder, int active, bool bidAsk, int defined) {
    const std::optional<vqs::TitelDefCollection> defs =
        vqs::bench::scaleDefinitions(active, std::max(active, defined), bidAsk);
    if (!defs) {
        std::fprintf(stderr, "the simulated market has fewer than %d titles\n", active);
        return 1;
    }
    QDir().mkpath(folder);
    vqs::writeTitelDefinitionenFile(
        folder + QLatin1Char('/') + QLatin1String(vqs::TitelDefinitionenDatei::kFileName), *defs);
    return 0;
}

int probe(const QString& dataFolder) {
    qint64 files = 0, records = 0;
    double newest = 0;
    QDirIterator it(dataFolder, {QStringLiteral("*.VQS")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly)) continue;
        ++files;
        const qint64 n = vqs::recordCount(file.size());
        records += n;
        if (n == 0 || !file.seek(vqs::kHeaderSize + (n - 1) * vqs::kRecordSize)) continue;
        const QByteArray last = file.read(vqs::kRecordSize);
        if (last.size() == vqs::kRecordSize)
            newest = std::max(newest, vqs::decodeKursSatz(last.constData()).Zeit);
    }
    const double age = newest > 0 ? (vqs::SystemClock().nowSerial() - newest) * 86400.0 : -1.0;
    std::printf("%lld %lld %.1f\n", static_cast<long long>(files), static_cast<long long>(records),
                age);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if ((args.size() == 5 || args.size() == 6) && args[1] == QLatin1String("home"))
        return writeHome(args[2], args[3].toInt(), args[4] == QLatin1String("all"),
                         args.size() == 6 ? args[5].toInt() : 0);
    if (args.size() == 3 && args[1] == QLatin1String("probe")) return probe(args[2]);
    std::fprintf(stderr,
                 "usage: scale_tool home <folder> <titles> <all|paid> [<defined>]\n"
                 "       scale_tool probe <data folder>\n");
    return 2;
}
