#include "tools/vqstool_commands.h"

#include "common/error.h"
#include "common/serial_date.h"
#include "datafiles/data_file_check.h"
#include "datafiles/data_file_store.h"
#include "datafiles/datei_kopf.h"
#include "datafiles/history_merge.h"
#include "datafiles/naming.h"
#include "model/titel_def.h"
#include "titles/titel_definitionen_datei.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <charconv>
#include <cmath>

namespace vqs {
namespace {

constexpr int kUsageError = 2;

void usage(QTextStream& err) {
    err << "Aufruf:\n"
           "  vqstool info DATEI        Kopffelder und Anzahl der Datensätze einer Datendatei\n"
           "  vqstool dump DATEI        Datensätze als CSV (time,price,volume)\n"
           "  vqstool check DATEI       prüft Kopf, Vollständigkeit und Zeitfolge der Datensätze\n"
           "  vqstool import --root VERZ --folder NAME --wkn CODE --name TEXT --exchange CODE\n"
           "                 [--kind K] CSVDATEI\n"
           "                            hängt CSV-Zeilen an die Datendatei des Titels an\n"
           "  vqstool merge --root VERZ --folder NAME --wkn CODE --name TEXT --exchange CODE\n"
           "                 CSVDATEI   fügt CSV-Zeilen (beliebiger Folge) in die Bezahlt-Datei\n"
           "                            ein wie die Datenpflege: alte Datensätze in ihrer\n"
           "                            Zeitspanne werden ersetzt, alle anderen behalten\n"
           "  vqstool titles DATEI      Titeldefinitionen einer Definitionsdatei auflisten\n";
}

QString floatText(float v) {
    std::array<char, 32> buf{};
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    return QString::fromLatin1(buf.data(), res.ptr - buf.data());
}

// A data file with its header, or the reason it is none (and exit code 1).
bool openDataFile(const QString& path, DataFileScan& scan, QTextStream& err,
                  const std::function<bool(qint64, const KursSatz&)>& onRecord = {}) {
    scan = scanDataFile(path, onRecord);
    if (!scan.readable || scan.length < kHeaderSize || !scan.kopf.hasKennung()) {
        err << path << ": " << scan.problem << '\n';
        return false;
    }
    return true;
}

int info(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() != 1) return usage(err), kUsageError;
    DataFileScan scan;
    if (!openDataFile(args[0], scan, err)) return 1;
    const struct {
        const char* name;
        KopfFeld feld;
    } fields[] = {
        {"Kennung", kopf::kKennung},           {"Titelname", kopf::kTitelname},
        {"Kurzcode", kopf::kKurzcode},         {"Beschreibung", kopf::kBeschreibung},
        {"LangFelder", kopf::kLangFelder},     {"TitelnameLang", kopf::kTitelnameLang},
        {"KurzcodeLang", kopf::kKurzcodeLang}, {"Datenquelle", kopf::kDatenquelle},
        {"TitelKey", kopf::kTitelKey},         {"Pflegedatum", kopf::kPflegedatum},
        {"Kursart", kopf::kKursart},
    };
    for (const auto& f : fields) out << f.name << ": " << scan.kopf.trimmedField(f.feld) << '\n';
    out << "Datensätze: " << recordCount(scan.length) << '\n';
    return 0;
}

int dump(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() != 1) return usage(err), kUsageError;
    out << "time,price,volume\n";
    DataFileScan scan;
    bool ok = openDataFile(args[0], scan, err, [&](qint64, const KursSatz& s) {
        out << isoTextFromSerial(s.Zeit) << ',' << floatText(s.Kurs) << ',' << floatText(s.Volume)
            << '\n';
        return true;
    });
    return ok ? 0 : 1;
}

int check(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() != 1) return usage(err), kUsageError;
    DataFileScan scan = scanDataFile(args[0]);
    if (!scan.problem.isEmpty()) {
        err << args[0] << ": " << scan.problem << '\n';
        return 1;
    }
    out << args[0] << ": in Ordnung, " << recordCount(scan.length) << " Datensätze\n";
    return 0;
}

struct CsvRow {
    double zeit;
    float kurs;
    float volume;
};

std::optional<CsvRow> parseCsvRow(const QString& line, QString& why) {
    const QStringList cells = line.split(QLatin1Char(','));
    if (cells.size() != 3) {
        why = QStringLiteral("drei Spalten erwartet (time,price,volume)");
        return std::nullopt;
    }
    std::optional<double> zeit = serialFromIsoText(cells[0].trimmed());
    bool priceOk = false, volumeOk = false;
    float kurs = cells[1].trimmed().toFloat(&priceOk);
    float volume = cells[2].trimmed().toFloat(&volumeOk);
    if (!zeit)
        why = QStringLiteral("keine Zeit der Form 2026-12-10T09:31:02.123");
    else if (!priceOk || !std::isfinite(kurs))
        why = QStringLiteral("kein gültiger Kurs");
    else if (!volumeOk || !std::isfinite(volume) || volume < 0)
        why = QStringLiteral("kein gültiges Volumen");
    else
        return CsvRow{*zeit, kurs, volume};
    return std::nullopt;
}

// The title and file of import and merge, from their arguments.
struct TitleArguments {
    QString root, csvPath;
    TitelDef def;
    Kursart kind = kBezahlt;
};

// None (after the usage) when the arguments are wrong; `withKind`: --kind may be given.
std::optional<TitleArguments> titleArguments(const QStringList& args, bool withKind,
                                             QTextStream& err) {
    TitleArguments a;
    QString folder;
    a.def.NeueNamen = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        auto value = [&](QString& target) {
            if (i + 1 >= args.size()) return false;
            target = args[++i];
            return true;
        };
        bool ok = true;
        if (arg == QLatin1String("--root"))
            ok = value(a.root);
        else if (arg == QLatin1String("--folder"))
            ok = value(folder);
        else if (arg == QLatin1String("--wkn"))
            ok = value(a.def.WKN);
        else if (arg == QLatin1String("--name"))
            ok = value(a.def.Name);
        else if (arg == QLatin1String("--exchange"))
            ok = value(a.def.RT_Boerse);
        else if (arg == QLatin1String("--kind") && withKind) {
            QString k;
            ok = value(k);
            a.kind = k.toInt(&ok);
        } else if (!arg.startsWith(QLatin1String("--")) && a.csvPath.isEmpty())
            a.csvPath = arg;
        else
            ok = false;
        if (!ok) {
            usage(err);
            return std::nullopt;
        }
    }
    a.def.RT_WKN = a.def.WKN;
    a.def.Ordner = ordnerAusEingabe(folder);
    if (a.root.isEmpty() || folder.isEmpty() || a.def.WKN.isEmpty() || a.def.RT_Boerse.isEmpty() ||
        a.csvPath.isEmpty()) {
        usage(err);
        return std::nullopt;
    }
    return a;
}

// The errors of a CSV file: it cannot be opened (Qt names no errno), a row cannot be taken.
constexpr int kUnreadableCsv = -1;
constexpr int kBadRow = -2;

// Every row of a CSV file, checked whole before anything is written; `inOrder` refuses a row
// older than the one before it, or than `after` for the first row. The first bad row ends it
// (the error names its line).
Result<std::vector<KursSatz>> readCsv(const QString& csvPath, bool inOrder, double after) {
    QFile csv(csvPath);
    if (!csv.open(QIODevice::ReadOnly | QIODevice::Text))
        return Error{kUnreadableCsv, csvPath + QStringLiteral(": ") + csv.errorString()};
    std::vector<KursSatz> records;
    double previous = after;
    qint64 lineNumber = 0;
    while (!csv.atEnd()) {
        const QString line = QString::fromUtf8(csv.readLine()).trimmed();
        ++lineNumber;
        if (line.isEmpty() || (lineNumber == 1 && line == QLatin1String("time,price,volume")))
            continue;
        QString why;
        std::optional<CsvRow> row = parseCsvRow(line, why);
        if (row && inOrder && row->zeit < previous) {
            why = records.empty() && std::isfinite(after)
                      ? QStringLiteral("älter als der letzte Datensatz der Datei (%1)")
                            .arg(isoTextFromSerial(previous))
                      : QStringLiteral("älter als die Zeile davor");
            row.reset();
        }
        if (!row)
            return Error{kBadRow, QStringLiteral("%1, Zeile %2: %3; nichts wurde geschrieben.")
                                      .arg(csvPath)
                                      .arg(lineNumber)
                                      .arg(why)};
        previous = row->zeit;
        records.push_back({row->zeit, row->kurs, row->volume});
    }
    return records;
}

Result<void> dataRootExists(const QString& root) {
    if (QDir(root).exists()) return {};
    return Error{ENOENT, QStringLiteral("Das Datenverzeichnis %1 gibt es nicht.").arg(root)};
}

// Whether a step worked; its error, if any, is told on a line of its own.
template <typename T>
bool worked(const Result<T>& result, QTextStream& err) {
    if (!result) err << result.error().text << '\n';
    return result.ok();
}

// Plays back a journal a crashed rewrite left beside the file; one that is not the file's own is
// set aside and told. False when the file cannot be written to.
bool recoverJournal(DataFileStore& store, const QString& path, QTextStream& err) {
    const DataFileStore::JournalOutcome outcome = store.recoverJournal(path);
    switch (outcome.kind) {
        case DataFileStore::JournalOutcome::kFailed:
            err << path << ": " << outcome.error.text << '\n';
            return false;
        case DataFileStore::JournalOutcome::kPlayedBack:
            err << path << ": unterbrochene Datenpflege rückgängig gemacht\n";
            return true;
        case DataFileStore::JournalOutcome::kSetAside:
            err << journalSetAsideText(path, outcome.aside, outcome.reason) << '\n';
            return true;
        default:
            return true;
    }
}

int import(const QStringList& args, QTextStream& out, QTextStream& err) {
    const std::optional<TitleArguments> a = titleArguments(args, true, err);
    if (!a) return kUsageError;
    if (!worked(dataRootExists(a->root), err)) return 1;
    DataFileStore store;
    store.setRoot(a->root);
    const QString path = store.filePath(a->def, a->kind);
    if (!recoverJournal(store, path, err)) return 1;

    // An import is all or nothing, and never leaves records out of time order.
    const std::optional<KursSatz> last = store.lastRecord(a->def, a->kind);
    const Result<std::vector<KursSatz>> read =
        readCsv(a->csvPath, true, last ? last->Zeit : -INFINITY);
    if (!worked(read, err)) return 1;
    const std::vector<KursSatz>& records = *read;

    Result<void> written;
    if (!records.empty()) {
        written = store.appendAll(a->def, a->kind, records);
    } else if (!QFileInfo::exists(path)) {
        written = store.create(a->def, a->kind, buildHeader(a->def, a->kind), {});
    }
    if (!written) {
        err << path << ": " << written.error().text << "; nichts wurde geschrieben.\n";
        return 1;
    }
    out << path << '\n';
    return 0;
}

// The back-fill merge fed from a CSV file: rows in any order; old records in the span of the
// rows are replaced, all others kept.
int merge(const QStringList& args, QTextStream& out, QTextStream& err) {
    const std::optional<TitleArguments> a = titleArguments(args, false, err);
    if (!a) return kUsageError;
    if (!worked(dataRootExists(a->root), err)) return 1;
    Result<std::vector<KursSatz>> read = readCsv(a->csvPath, false, -INFINITY);
    if (!worked(read, err)) return 1;
    std::vector<KursSatz> records = std::move(read).value();
    DataFileStore store;
    store.setRoot(a->root);
    const QString path = store.filePath(a->def, kBezahlt);
    if (!recoverJournal(store, path, err)) return 1;
    MergeProgress quiet;
    const MergeResult result =
        mergeHistory(store, a->def, std::move(records), false, QDate::currentDate(), quiet);
    switch (result.outcome) {
        case MergeResult::kMerged:
            out << path << '\n'
                << result.written << " Datensätze eingefügt, " << result.kept
                << " spätere behalten\n";
            return 0;
        case MergeResult::kNothing:
            out << path << '\n' << "Keine Zeile: nichts geändert\n";
            return 0;
        default:
            err << path << ": " << result.error.text << "; die Datei ist unverändert.\n";
            return 1;
    }
}

int titles(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() != 1) return usage(err), kUsageError;
    if (!QFileInfo::exists(args[0])) {
        err << "Die Datei " << args[0] << " gibt es nicht.\n";
        return 1;
    }
    try {
        TitelDefinitionenHandlers handlers;
        handlers.onDefinition = [&](qint64, std::optional<TitelDef>&& def) {
            if (!def) return;
            out << def->id().text() << '\t' << def->Name << '\t' << def->Ordner << '\t'
                << (def->Aktiv ? "aktiv" : "inaktiv") << '\t'
                << (def->UseBidAsk ? "Geld/Brief" : "nur Bezahlt") << '\n';
        };
        const TitelDefinitionenScan scan =
            scanTitelDefinitionenFile(args[0], systemFileSystem(), handlers);
        if (scan.status == TitelDefinitionenScan::kWhole) return 0;
        err << "Fehler beim Laden der Titeldefinitionen aufgetreten: " << scan.problem << '\n';
        return 1;
    } catch (const VqsError& e) {
        err << "Fehler beim Laden der Titeldefinitionen aufgetreten: " << e.message() << '\n';
        return 1;
    }
}

}  // namespace

int runVqstool(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.isEmpty()) return usage(err), kUsageError;
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("info")) return info(rest, out, err);
    if (command == QLatin1String("dump")) return dump(rest, out, err);
    if (command == QLatin1String("check")) return check(rest, out, err);
    if (command == QLatin1String("import")) return import(rest, out, err);
    if (command == QLatin1String("merge")) return merge(rest, out, err);
    if (command == QLatin1String("titles")) return titles(rest, out, err);
    usage(err);
    return kUsageError;
}

}  // namespace vqs
