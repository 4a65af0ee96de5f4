// The two halves of the scale script that need the program's own code:
//   scale_tool home <folder> <titles> <all|paid>
//       writes a home folder whose definitions hold <titles> active titles of the simulated
//       market (each instrument on each admitted exchange, in folders of 100 titles);
//   scale_tool probe <data folder>
//       prints "<files> <records> <age of the newest record in seconds>".
#include "broker/simulated_broker.h"
#include "common/serial_date.h"
#include "datafiles/datei_kopf.h"
#include "titles/titel_definitionen_datei.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cstdio>

namespace {

int writeHome(const QString& folder, int count, bool bidAsk) {
    const vqs::broker::SimulationSettings settings;  // the recorder's market without a seed
    const vqs::broker::SimulatedMarket market(settings.seed, settings.quotesPerSecond);
    vqs::KeyedCollection<vqs::TitelDef> defs;
    for (const vqs::broker::Exchange& exchange : market.exchanges()) {
        if (!exchange.admitted) continue;
        for (const vqs::broker::SimInstrument& in : market.instruments()) {
            if (defs.size() >= count) break;
            vqs::TitelDef d;
            d.RT_WKN = d.WKN = in.wkn;
            d.Name = in.name;
            d.RT_Boerse = exchange.code;
            d.Ordner = QStringLiteral("Ordner %1").arg(defs.size() / 100, 3, 10, QLatin1Char('0'));
            d.Aktiv = true;
            d.UseBidAsk = bidAsk && in.hasBidAsk;
            d.NeueNamen = true;
            defs.add(d.id().text(), d);
        }
    }
    if (defs.size() < count) {
        std::fprintf(stderr, "the simulated market has only %d titles\n", defs.size());
        return 1;
    }
    QDir().mkpath(folder);
    vqs::writeTitelDefinitionenFile(
        folder + QLatin1Char('/') + QLatin1String(vqs::TitelDefinitionenDatei::kFileName), defs);
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
    if (args.size() == 5 && args[1] == QLatin1String("home"))
        return writeHome(args[2], args[3].toInt(), args[4] == QLatin1String("all"));
    if (args.size() == 3 && args[1] == QLatin1String("probe")) return probe(args[2]);
    std::fprintf(stderr,
                 "usage: scale_tool home <folder> <titles> <all|paid>\n"
                 "       scale_tool probe <data folder>\n");
    return 2;
}
