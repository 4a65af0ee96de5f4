#pragma once

// What the title management does, without its window: folders and their titles, deleting, the
// data file a title's kind is inspected in.

#include "common/kursart.h"
#include "model/titel_def.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace vqs {

class Recorder;
class SettingsStore;
class TitelRegistry;

inline constexpr char kAlleTitel[] = "Alle Titel";

// The entries of the folder box: "Alle Titel", then every known folder in collection order.
QStringList ordnerEintraege(const TitelRegistry& titles);
// The entry to select for the folder remembered at the last close: the first one from position 1
// on that equals it without regard to case; "Alle Titel" (0) when it is empty or gone.
int gemerkterOrdner(const QStringList& eintraege, const SettingsStore& settings);
void ordnerMerken(SettingsStore& settings, const QString& eintrag);

// The titles listed for a folder entry, in collection order: all of them for position 0, else
// those filed in `ordner` (without regard to case).
std::vector<TitelDef> titelImOrdner(const TitelRegistry& titles, int position,
                                    const QString& ordner);

// Deletes the definitions under these keys. A title being recorded stops at once and its
// subscription ends; its data files stay. The windows learn of it once. The number deleted.
int TitelLoeschen(Recorder& recorder, const std::vector<QString>& tags);

// The data file of a title's kind for the Dateninspektor. Nothing is made here: a file appears
// only when the user wants one (datendateiAnlegen). Throws VqsError when something shorter than
// a header and not empty is in the way (no data file; it is never overwritten).
struct InspektorDatei {
    QString path;
    bool ohneDaten = false;  // missing or empty: a header may be written
};
InspektorDatei inspektorDatei(Recorder& recorder, const TitelDef& def, Kursart kind);
// Writes the header of a new data file (no records), folder included. Throws VqsError with the
// reason when it cannot.
void datendateiAnlegen(Recorder& recorder, const TitelDef& def, Kursart kind);

}  // namespace vqs
