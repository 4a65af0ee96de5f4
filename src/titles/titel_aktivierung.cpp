#include "titles/titel_aktivierung.h"

#include "app/app_context.h"
#include "titles/titel_objekt.h"
#include "datafiles/naming.h"

namespace vqs {

TitelIcon titelIcon(const TitelDef* def) {
    if (!def || !def->Aktiv) return kNichtAufgezeichnet;
    return def->UseBidAsk ? kAlleAufgezeichnet : kBezahltAufgezeichnet;
}

namespace {

// Starts (or restarts) the recording of a definition: the title object under its key, or a new
// one; false when the broker refuses the title or there is no connection.
bool startRecording(AppContext& ctx, const TitelDef& def, bool bidAsk) {
    const QString key = def.key();
    std::unique_ptr<clTitelObjekt> created;
    clTitelObjekt* objekt = nullptr;
    if (auto* existing = ctx.TitelObjekte.find(key)) {
        objekt = existing->get();
    } else {
        created = std::make_unique<clTitelObjekt>(ctx);
        objekt = created.get();
    }
    objekt->UseBidAsk = bidAsk;
    try {
        if (!objekt->InitSubscription(def.RT_WKN, def.RT_Boerse)) return false;
    } catch (const VqsError&) {
        return false;
    }
    if (created) ctx.TitelObjekte.add(objekt->Key(), std::move(created));
    return true;
}

void stopRecording(AppContext& ctx, const QString& key) {
    if (auto* objekt = ctx.TitelObjekte.find(key)) (*objekt)->ClearSubscription();
}

// Applies the pair (bezahlt, bidAsk) to a definition and its title object; the icon it gets.
TitelIcon apply(AppContext& ctx, TitelDef& def, bool bezahlt, bool bidAsk) {
    def.Aktiv = bezahlt;
    def.UseBidAsk = bidAsk;
    if (!bezahlt) return kNichtAufgezeichnet;
    if (startRecording(ctx, def, bidAsk)) return titelIcon(&def);
    def.Aktiv = false;
    def.UseBidAsk = false;
    return kNichtAufgezeichnet;
}

}  // namespace

AktivierungsErgebnis TitelAktivierenAuswahl(AppContext& ctx, const std::vector<TitelZeile>& marked,
                                            const QString& ordnerText, bool ausSuche, bool bezahlt,
                                            bool bidAsk) {
    BusyGuard busy(ctx.loop());
    AktivierungsErgebnis result;
    const QString ordner = OrdnerNameBereinigen(ordnerText);
    if (ausSuche && ordner.isEmpty() && bezahlt) {
        ctx.messages().ShowMessage(
            QStringLiteral("Geben Sie bitte einen Ordner an, indem die Daten für die aktivierten "
                           "Titel gespeichert werden sollen (die Angabe des Ordners ist jedoch nur "
                           "bei der erstmaligen Aktivierung relevant)."),
            msg::kOk);
        result.stopped = true;
        return result;
    }
    for (const TitelZeile& row : marked) {
        const QString defKey = TitelDef::collectionKey(row.tag);
        if (const TitelDef* found = ctx.TitelDefinitionen.find(defKey)) {
            TitelDef def = *found;
            if (def.Aktiv == bezahlt && def.UseBidAsk == bidAsk) {
                result.icons.push_back(titelIcon(&def));
                continue;
            }
            if (def.Aktiv) stopRecording(ctx, row.tag);
            result.icons.push_back(apply(ctx, def, bezahlt, bidAsk));
            // A changed definition moves to the end of the collection.
            ctx.TitelDefinitionen.remove(defKey);
            ctx.TitelDefinitionen.add(defKey, def);
            continue;
        }
        TitelDef def;
        def.RT_WKN = row.wkn;
        def.WKN = row.wkn;
        def.Name = row.name;
        def.Ordner = ordner;
        def.RT_Boerse = row.boerse;
        def.NeueNamen = true;
        if (!ctx.TitelDefinitionen.add(def.collectionKey(), def)) {
            result.icons.push_back(kNichtAufgezeichnet);
            continue;
        }
        TitelDef& stored = *ctx.TitelDefinitionen.find(def.collectionKey());
        result.icons.push_back(apply(ctx, stored, bezahlt, bidAsk));
    }
    ctx.mainWindow().TitelInfoAktualisieren();
    if (!ordner.isEmpty() && !ctx.Ordnerliste.contains(ordner)) ctx.Ordnerliste.add(ordner, ordner);
    return result;
}

std::vector<TitelIcon> TitelAktivierenVerwaltung(AppContext& ctx, const std::vector<QString>& tags,
                                                 bool bezahlt, bool bidAsk) {
    BusyGuard busy(ctx.loop());
    std::vector<TitelIcon> icons;
    for (const QString& tag : tags) {
        TitelDef* def = ctx.TitelDefinitionen.find(TitelDef::collectionKey(tag));
        if (!def) {
            icons.push_back(kNichtAufgezeichnet);
            continue;
        }
        if (def->Aktiv) stopRecording(ctx, tag);
        // Changed in place: the definition keeps its place in the collection.
        icons.push_back(apply(ctx, *def, bezahlt, bidAsk));
    }
    ctx.mainWindow().TitelInfoAktualisieren();
    return icons;
}

}  // namespace vqs
