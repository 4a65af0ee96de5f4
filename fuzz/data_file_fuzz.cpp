#include "tools/vqstool_commands.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

// Any bytes as a data file: info, dump and check read it without crashing.
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
    return 0;
}
