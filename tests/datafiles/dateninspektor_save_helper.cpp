// Two roles around the Dateninspektor's save, for the tests that run it against another process:
//   append ROOT COUNT  appends COUNT ticks (volume 1, 2, ...) to the paid file of title 710000,
//                      one line on stdout after each;
//   save FILE          changes every 100th price and deletes record 10 of FILE, and saves,
//                      telling "1" on stdout before every write to the disk ("fertig" at the end).
#include "datafiles/data_file_document.h"
#include "datafiles/data_file_store.h"
#include "support/forwarding_file_system.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <unistd.h>

namespace {

void say(const char* line) {
    const auto n = static_cast<ssize_t>(std::strlen(line));
    if (::write(1, line, static_cast<size_t>(n)) != n) std::abort();
}

// The system's file system, telling before every call that changes a file.
struct TellingFileSystem final : vqs::test::ForwardingFileSystem {
    int write(Handle h, std::int64_t o, const char* d, std::int64_t l) override {
        say("1\n");
        return ForwardingFileSystem::write(h, o, d, l);
    }
    int truncate(Handle h, std::int64_t l) override {
        say("1\n");
        return ForwardingFileSystem::truncate(h, l);
    }
    int sync(Handle h) override {
        say("1\n");
        return ForwardingFileSystem::sync(h);
    }
    int remove(const Path& p) override {
        say("1\n");
        return ForwardingFileSystem::remove(p);
    }
    // In pieces through write() above, so that each piece is a step.
    int copy(Handle f, std::int64_t fo, Handle t, std::int64_t to, std::int64_t l) override {
        return FileSystem::copy(f, fo, t, to, l);
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 3) return 2;
    const QString role = QString::fromLocal8Bit(argv[1]);
    if (role == QLatin1String("append") && argc == 4) {
        vqs::DataFileStore store;
        store.setRoot(QString::fromLocal8Bit(argv[2]));
        vqs::TitelDef def;
        def.RT_WKN = def.WKN = QStringLiteral("710000");
        def.Name = QStringLiteral("Mercedes-Benz");
        def.Ordner = QStringLiteral("Dax 30");
        def.RT_Boerse = QStringLiteral("ETR");
        def.NeueNamen = true;
        const long count = std::atol(argv[3]);
        for (long i = 1; i <= count; ++i) {
            const vqs::KursSatz satz{46366.9 + static_cast<double>(i) * 1e-8, 100.0f,
                                     static_cast<float>(i)};
            if (store.append(def, vqs::kBezahlt, satz) != vqs::Appended::kWritten) return 1;
            say("1\n");
        }
        return 0;
    }
    if (role == QLatin1String("save")) {
        const QString path = QString::fromLocal8Bit(argv[2]);
        auto opened = vqs::DataFileDocument::open(path);
        if (!opened) return 1;
        auto doc = std::move(opened).value();
        for (std::int64_t i = 0; i < doc->count(); i += 100) {
            vqs::KursSatz s = doc->record(i);
            s.Kurs = 999.0f;
            doc->set(i, s);
        }
        doc->remove(10);
        TellingFileSystem telling;
        vqs::DataFileStore store(telling);
        store.setRoot(QFileInfo(path).absolutePath());
        if (!doc->save(store)) return 1;
        say("fertig\n");
        return 0;
    }
    return 2;
}
