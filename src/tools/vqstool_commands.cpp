#include "tools/vqstool_commands.h"

#include "common/error.h"
#include "titles/titel_def.h"
#include "titles/titel_definitionen_datei.h"

namespace vqs {
namespace {

constexpr int kUsageError = 2;

void usage(QTextStream& err) {
    err << "Aufruf:\n"
           "  vqstool titles DATEI      Titeldefinitionen einer Definitionsdatei auflisten\n";
}

int titles(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() != 1) {
        usage(err);
        return kUsageError;
    }
    try {
        std::optional<TaggedValue> value = readTitelDefinitionenFile(args[0]);
        if (!value) {
            err << "Die Datei " << args[0] << " ist keine Titeldefinitionsdatei.\n";
            return 1;
        }
        if (!value->isList()) return 0;
        for (const TaggedValue& element : value->items()) {
            std::optional<TitelDef> def = TitelDef::fromTagged(element);
            if (!def) continue;
            out << def->key() << '\t' << def->Name << '\t' << def->Ordner << '\t'
                << (def->Aktiv ? "aktiv" : "inaktiv") << '\t'
                << (def->UseBidAsk ? "Geld/Brief" : "nur Bezahlt") << '\n';
        }
        return 0;
    } catch (const VqsError& e) {
        err << "Fehler beim Laden der Titeldefinitionen aufgetreten: " << e.message() << '\n';
        return 1;
    }
}

}  // namespace

int runVqstool(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.isEmpty()) {
        usage(err);
        return kUsageError;
    }
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("titles")) return titles(rest, out, err);
    usage(err);
    return kUsageError;
}

}  // namespace vqs
