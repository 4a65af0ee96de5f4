#include "tools/vqstool_commands.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

// Any bytes as a CSV file to import: either rows are written or the import stops cleanly.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString csv = dir.path() + QStringLiteral("/in.csv");
    const QString root = dir.path() + QStringLiteral("/daten");
    QDir(root).removeRecursively();
    QDir().mkpath(root);
    {
        QFile f(csv);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    QString path, sink;
    QTextStream out(&path), err(&sink);
    const int rc = vqs::runVqstool({"import", "--root", root, "--folder", "F", "--wkn", "W",
                                    "--name", "N", "--exchange", "ETR", csv},
                                   out, err);
    out.flush();
    // An import that went through leaves a file that check accepts.
    if (rc == 0) {
        QTextStream checkOut(&sink), checkErr(&sink);
        if (vqs::runVqstool({"check", path.trimmed()}, checkOut, checkErr) != 0) std::abort();
    }
    return 0;
}
