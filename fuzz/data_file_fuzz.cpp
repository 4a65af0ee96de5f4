#include "datafiles/data_file_document.h"
#include "datafiles/data_file_listing.h"
#include "tools/vqstool_commands.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

// Any bytes as a data file: info, dump and check, the file listing and the Dateninspektor's
// document (open, every record, go to a time, the chart's columns) read it without crashing.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/f.VQS");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    QString sink;
    QTextStream out(&sink), err(&sink);
    for (const char* command : {"info", "dump", "check"}) {
        vqs::runVqstool({QString::fromLatin1(command), path}, out, err);
        sink.clear();
    }
    vqs::listDataFiles(dir.path());
    if (auto opened = vqs::DataFileDocument::open(path)) {
        const auto& doc = *opened;
        for (std::int64_t i = 0; i < doc->count(); ++i) doc->isFaulty(i);
        if (doc->count() > 0) {
            const double first = doc->record(0).Zeit;
            doc->firstAtOrAfter(first);
            doc->decimate(first, first + 1, 7);
            doc->decimate(-1e300, 1e300, 3);
        }
    }
    return 0;
}
