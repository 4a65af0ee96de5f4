#pragma once

#include "common/keyed_collection.h"
#include "titles/tagged_value.h"
#include "titles/titel_def.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace vqs {

class AppContext;

inline constexpr char kTitelDefinitionenKennung[] = "Tradomir VQS BravoltDefs 01.00";
inline constexpr int kTitelDefinitionenKennungLength = 30;

// The bytes of a definitions file for the collection, in collection order.
QByteArray encodeTitelDefinitionen(const KeyedCollection<TitelDef>& definitions);

// The stored value of a definitions file's bytes: none when the header is foreign (or the
// file empty); throws VqsError with a German reason when the value is damaged.
std::optional<TaggedValue> decodeTitelDefinitionen(QByteArrayView bytes);

// Reads a definitions file from disk (none for a foreign header); throws VqsError.
std::optional<TaggedValue> readTitelDefinitionenFile(const QString& path);

// Writes aside and replaces the file in one step; throws VqsError.
void writeTitelDefinitionenFile(const QString& path, const KeyedCollection<TitelDef>& definitions);

// Told about the steps of loading that reach beyond the definitions.
class TitelLoadListener {
public:
    virtual ~TitelLoadListener() = default;
    // The collections are about to be replaced: drop the title objects of an earlier load.
    virtual void replaceTitleObjects() {}
    // An active definition was added: start recording it (when the broker session allows).
    virtual void activeTitleLoaded(const TitelDef& /*definition*/) {}
};

// Loads "Bravolt_Titel.Dat" of the program folder into the context's collections. A missing
// file is created empty and loads nothing, a foreign one is left alone; a damaged one is
// reported with "Fehler beim Laden der Titeldefinitionen aufgetreten: ".
void LoadTitelDefinitionen(AppContext& ctx, TitelLoadListener& listener);

// Saves the context's definitions; a failure is reported with
// "Fehler beim Speichern der Titeldefinitionen aufgetreten: " and returns false.
bool SaveTitelDefinitionen(AppContext& ctx);

}  // namespace vqs
