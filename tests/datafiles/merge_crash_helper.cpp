// Merges the ticks of a file of raw records into the paid file of title "710000" below a data
// root, telling on stdout how far it is ("1" at every step, "fertig" at the end). The crash test
// kills it at random moments. With a third argument N it stops after its N-th step ("pause")
// until a line comes on stdin, so that a test can start another program meanwhile.
#include "datafiles/history_merge.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdlib>

#include <unistd.h>

namespace {

struct Telling final : vqs::MergeProgress {
    void yield() override {
        if (::write(1, "1\n", 2) != 2) std::abort();
        if (++steps != pauseAt) return;
        char go = 0;
        if (::write(1, "pause\n", 6) != 6 || ::read(0, &go, 1) != 1) std::abort();
    }
    int steps = 0;
    int pauseAt = -1;
};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 3) return 2;
    QFile ticks(QString::fromLocal8Bit(argv[2]));
    if (!ticks.open(QIODevice::ReadOnly)) return 2;
    const QByteArray bytes = ticks.readAll();
    std::vector<vqs::KursSatz> fetched;
    for (qsizetype at = 0; at + vqs::kRecordSize <= bytes.size(); at += vqs::kRecordSize)
        fetched.push_back(vqs::decodeKursSatz(bytes.constData() + at));
    vqs::DataFileStore store;
    store.setRoot(QString::fromLocal8Bit(argv[1]));
    vqs::TitelDef def;
    def.RT_WKN = def.WKN = QStringLiteral("710000");
    def.Ordner = QStringLiteral("Dax 30");
    def.RT_Boerse = QStringLiteral("ETR");
    def.NeueNamen = true;
    Telling telling;
    if (argc > 3) telling.pauseAt = std::atoi(argv[3]);
    const vqs::MergeResult result =
        vqs::mergeHistory(store, def, std::move(fetched), false, QDate(2026, 12, 10), telling);
    if (result.outcome != vqs::MergeResult::kMerged) return 1;
    return ::write(1, "fertig\n", 7) == 7 ? 0 : 1;
}
