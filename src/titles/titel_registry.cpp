#include "titles/titel_registry.h"

namespace vqs {

TitelRegistry::TitelRegistry(BravoltSession& session, TickSink& sink, const Clock& clock)
    : session_(session), sink_(sink), clock_(clock) {}

TitelRegistry::~TitelRegistry() = default;

QString TitelRegistry::folderSpelling(const QString& ordner) const {
    const QString* known = folders_.find(ordner);
    return known ? *known : ordner;
}

void TitelRegistry::addFolder(const QString& ordner) {
    if (!ordner.isEmpty() && !folders_.contains(ordner)) folders_.add(ordner, ordner);
}

bool TitelRegistry::add(TitelDef def) {
    // Texts that many titles have alike are held once: a large definitions file loads in a few
    // times its size.
    def.Ordner = folderSpelling(def.Ordner);
    if (def.WKN == def.RT_WKN) def.WKN = def.RT_WKN;
    def.RT_Boerse = *exchanges_.insert(def.RT_Boerse);
    const QString key = def.id().text();
    if (!definitions_.add(key, def)) return false;
    addFolder(def.Ordner);
    return true;
}

void TitelRegistry::replace(const TitelDef& def, bool toEnd) {
    const QString key = def.id().text();
    if (toEnd) {
        definitions_.remove(key);
        definitions_.add(key, def);
    } else {
        definitions_.replace(key, def);
    }
}

bool TitelRegistry::remove(const QString& key) {
    const TitelDef* def = definitions_.find(key);
    if (!def) return false;
    stopRecording(def->id());
    titleObjects_.remove(key);
    definitions_.remove(key);
    return true;
}

void TitelRegistry::clear() {
    titleObjects_.clear();
    definitions_.clear();
    folders_.clear();
    exchanges_.clear();
}

bool TitelRegistry::startRecording(const TitelDef& def) {
    const QString key = def.id().text();
    std::unique_ptr<TitelObjekt> created;
    TitelObjekt* objekt = nullptr;
    if (auto* existing = titleObjects_.find(key)) {
        objekt = existing->get();
    } else {
        created = std::make_unique<TitelObjekt>(session_, sink_, clock_);
        objekt = created.get();
    }
    objekt->UseBidAsk = def.UseBidAsk;
    try {
        if (!objekt->InitSubscription(def.RT_WKN, def.RT_Boerse)) return false;
    } catch (const VqsError&) {
        return false;
    }
    if (created) {
        created->startFrom(def);
        titleObjects_.add(key, std::move(created));
    }
    return true;
}

void TitelRegistry::stopRecording(const TitelId& id) {
    if (auto* objekt = titleObjects_.find(id.text())) (*objekt)->ClearSubscription();
    if (const TitelDef* def = find(id)) sink_.stoppedRecording(*def);
}

bool TitelRegistry::isRecording(const TitelId& id) const {
    const auto* objekt = titleObjects_.find(id.text());
    return objekt && (*objekt)->isActive() && (*objekt)->isSubscribed();
}

TitelRegistry::Count TitelRegistry::countRecording() const {
    return count([this](const TitelDef& def) { return isRecording(def.id()); });
}

TitelRegistry::Count TitelRegistry::countActive() const {
    return count([](const TitelDef&) { return true; });
}

TitelRegistry::Count TitelRegistry::count(const std::function<bool(const TitelDef&)>& also) const {
    Count count;
    for (const auto& e : definitions_) {
        if (!e.value.Aktiv || !also(e.value)) continue;
        ++count.aktiv;
        if (e.value.UseBidAsk) ++count.bidAsk;
    }
    return count;
}

}  // namespace vqs
