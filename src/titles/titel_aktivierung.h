#pragma once

#include "common/ui_ports.h"
#include "model/titel_def.h"

#include <QString>

#include <optional>
#include <vector>

namespace vqs {

class TitelRegistry;

// Row icons of every title list: what is recorded of a title.
enum TitelIcon : int { kNichtAufgezeichnet = 1, kBezahltAufgezeichnet = 2, kAlleAufgezeichnet = 3 };
TitelIcon titelIcon(const TitelDef* def);
inline TitelIcon titelIcon(const std::optional<TitelDef>& def) {
    return titelIcon(def ? &*def : nullptr);
}

// A marked row of a title list: its tag (the title key) and, in the selection dialog, the texts
// a new definition is made from.
struct TitelZeile {
    QString tag;
    QString name;
    QString wkn;
    QString boerse;
};

// What activation needs besides the titles: where notices go, and the hourglass.
struct AktivierungsPorts {
    MessagePresenter& messages;
    EventLoopPort& loop;
};

// Activation from the selection dialog: definitions that exist change state and move to the end
// of the collection; rows without definition get a new one filed in `ordner`. A subscription the
// broker refuses leaves its title inactive, and the refused codes are named in one message. The
// folder is registered in the folder list. The result holds the new icon of each marked row.
// With `ausSuche` (the search tab) an empty folder stops an activation with a notice
// (deactivation needs no folder); `stopped` is then true.
struct AktivierungsErgebnis {
    std::vector<TitelIcon> icons;
    bool stopped = false;
};
AktivierungsErgebnis TitelAktivierenAuswahl(TitelRegistry& titles, AktivierungsPorts ports,
                                            const std::vector<TitelZeile>& marked,
                                            const QString& ordner, bool ausSuche, bool bezahlt,
                                            bool bidAsk);

// Activation from the management dialog: known definitions only, each keeping its place in the
// collection; the subscription restarts each time.
std::vector<TitelIcon> TitelAktivierenVerwaltung(TitelRegistry& titles, AktivierungsPorts ports,
                                                 const std::vector<QString>& tags, bool bezahlt,
                                                 bool bidAsk);

}  // namespace vqs
