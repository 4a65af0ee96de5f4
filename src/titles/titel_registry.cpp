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
    const bool sameFolder = !lastFolder_.isNull() && def.Ordner == lastFolder_;
    const QString given = def.Ordner;
    def.Ordner = sameFolder ? lastFolderSpelling_ : folderSpelling(def.Ordner);
    if (!definitions_.add(def)) return false;
    if (!sameFolder) {
        addFolder(def.Ordner);
        lastFolder_ = given;
        lastFolderSpelling_ = def.Ordner;
    }
    return true;
}

void TitelRegistry::replace(const TitelDef& def, bool toEnd) { definitions_.replace(def, toEnd); }

bool TitelRegistry::remove(const QString& key) {
    const std::optional<TitelDef> def = definitions_.find(key);
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
    lastFolder_ = lastFolderSpelling_ = QString();
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
    if (const std::optional<TitelDef> def = find(id)) sink_.stoppedRecording(*def);
}

bool TitelRegistry::isRecording(const TitelId& id) const {
    const auto* objekt = titleObjects_.find(id.text());
    return objekt && (*objekt)->isActive() && (*objekt)->isSubscribed();
}

TitelRegistry::Count TitelRegistry::countRecording() const {
    Count count;
    for (const TitelDef& def : definitions_.active()) {
        if (!isRecording(def.id())) continue;
        ++count.aktiv;
        if (def.UseBidAsk) ++count.bidAsk;
    }
    return count;
}

TitelRegistry::Count TitelRegistry::countActive() const { return definitions_.countActive(); }

}  // namespace vqs
