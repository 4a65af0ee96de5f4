// Appends ticks at full speed to the data files of several titles, new titles coming in as it
// goes, and reports every completed append on stdout ("<title> <records>"). The crash test
// kills it at random moments.
#include "datafiles/data_file_store.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    const QString root = QString::fromLocal8Bit(argv[1]);
    vqs::DataFileStore store;
    store.setRoot(root);
    std::vector<long> counts;
    for (long i = 0;; ++i) {
        // A new title every 10 ticks, so that kills also land while files are created.
        const long title = (i % 5 == 0) ? i / 10 : (i % 3) * (i / 10) / 3;
        if (title >= static_cast<long>(counts.size()))
            counts.resize(static_cast<size_t>(title) + 1);
        vqs::TitelDef d;
        d.RT_WKN = d.WKN = QStringLiteral("T%1").arg(title);
        d.Name = d.WKN;
        d.Ordner = QStringLiteral("Ordner%1").arg(title % 4);
        d.RT_Boerse = QStringLiteral("ETR");
        d.NeueNamen = true;
        const double zeit = 46366.0 + 0.375 + static_cast<double>(i) * 1e-7;
        if (store.append(d, vqs::kBezahlt, {zeit, 100.0f, 1.0f}) != vqs::Appended::kWritten)
            return 1;
        long n = ++counts[static_cast<size_t>(title)];
        char line[64];
        int len = std::snprintf(line, sizeof line, "%ld %ld\n", title, n);
        if (::write(1, line, static_cast<size_t>(len)) != len) return 1;
    }
}
