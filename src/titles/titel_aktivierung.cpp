#include "titles/titel_aktivierung.h"

#include "datafiles/naming.h"
#include "titles/titel_registry.h"

#include <QStringList>

namespace vqs {

TitelIcon titelIcon(const TitelDef* def) {
    if (!def || !def->Aktiv) return kNichtAufgezeichnet;
    return def->UseBidAsk ? kAlleAufgezeichnet : kBezahltAufgezeichnet;
}

namespace {

// Applies the pair (bezahlt, bidAsk) to a definition and its title object; the icon it gets.
// A title the broker refuses is named in `refused`.
TitelIcon apply(TitelRegistry& titles, TitelDef& def, bool bezahlt, bool bidAsk,
                QStringList& refused) {
    def.Aktiv = bezahlt;
    def.UseBidAsk = bidAsk;
    if (!bezahlt) return kNichtAufgezeichnet;
    if (titles.startRecording(def)) return titelIcon(&def);
    def.Aktiv = false;
    def.UseBidAsk = false;
    refused << def.WKN;
    return kNichtAufgezeichnet;
}

void tellRefused(const TitelRegistry& titles, AktivierungsPorts ports, const QStringList& refused) {
    if (refused.isEmpty()) return;
    const QString text =
        titles.connected()
            ? QStringLiteral(
                  "Die Bravolt-API kennt diese Titel nicht, sie wurden nicht aktiviert: ")
            : QStringLiteral(
                  "Ohne Verbindung zur Bravolt-API wurden diese Titel nicht aktiviert: ");
    ports.messages.ShowMessage(text + refused.join(QStringLiteral(", ")), msg::kOk);
}

}  // namespace

AktivierungsErgebnis TitelAktivierenAuswahl(TitelRegistry& titles, AktivierungsPorts ports,
                                            const std::vector<TitelZeile>& marked,
                                            const QString& ordnerText, bool ausSuche, bool bezahlt,
                                            bool bidAsk) {
    AktivierungsErgebnis result;
    QStringList refused;
    {
        BusyGuard busy(ports.loop);
        const QString ordner = titles.folderSpelling(ordnerAusEingabe(ordnerText));
        if (ausSuche && ordner.isEmpty() && bezahlt) {
            ports.messages.ShowMessage(
                QStringLiteral("Geben Sie bitte einen Ordner an, indem die Daten für die "
                               "aktivierten Titel gespeichert werden sollen (die Angabe des "
                               "Ordners ist jedoch nur bei der erstmaligen Aktivierung "
                               "relevant)."),
                msg::kOk);
            result.stopped = true;
            return result;
        }
        for (const TitelZeile& row : marked) {
            if (const std::optional<TitelDef> found = titles.find(row.tag)) {
                TitelDef def = *found;
                if (def.Aktiv == bezahlt && def.UseBidAsk == bidAsk) {
                    result.icons.push_back(titelIcon(&def));
                    continue;
                }
                if (def.Aktiv) titles.stopRecording(def.id());
                result.icons.push_back(apply(titles, def, bezahlt, bidAsk, refused));
                // A changed definition moves to the end of the collection.
                titles.replace(def, true);
                continue;
            }
            TitelDef def;
            def.RT_WKN = row.wkn;
            def.WKN = row.wkn;
            def.Name = row.name;
            def.Ordner = ordner;
            def.RT_Boerse = row.boerse;
            def.NeueNamen = true;
            if (!titles.add(def)) {
                result.icons.push_back(kNichtAufgezeichnet);
                continue;
            }
            result.icons.push_back(apply(titles, def, bezahlt, bidAsk, refused));
            titles.replace(def);
        }
        titles.announceChange();
        titles.addFolder(ordner);
    }
    tellRefused(titles, ports, refused);
    return result;
}

std::vector<TitelIcon> TitelAktivierenVerwaltung(TitelRegistry& titles, AktivierungsPorts ports,
                                                 const std::vector<QString>& tags, bool bezahlt,
                                                 bool bidAsk) {
    std::vector<TitelIcon> icons;
    QStringList refused;
    {
        BusyGuard busy(ports.loop);
        for (const QString& tag : tags) {
            const std::optional<TitelDef> found = titles.find(tag);
            if (!found) {
                icons.push_back(kNichtAufgezeichnet);
                continue;
            }
            TitelDef def = *found;
            if (def.Aktiv) titles.stopRecording(def.id());
            // Changed in place: the definition keeps its place in the collection.
            icons.push_back(apply(titles, def, bezahlt, bidAsk, refused));
            titles.replace(def);
        }
        titles.announceChange();
    }
    tellRefused(titles, ports, refused);
    return icons;
}

}  // namespace vqs
