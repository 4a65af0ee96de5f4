#pragma once

#include "broker/bravolt_session.h"
#include "common/keyed_collection.h"
#include "common/serial_date.h"
#include "model/titel_def.h"
#include "model/titel_def_collection.h"
#include "titles/titel_objekt.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace vqs {

// The titles of the run: every definition in collection order, the folders they are filed in,
// and one title object per title recorded at some time in this run. Definitions and folders are
// keyed without regard to case; a folder keeps the spelling it was first known by.
class TitelRegistry {
public:
    TitelRegistry(BravoltSession& session, TickSink& sink, const Clock& clock);
    ~TitelRegistry();
    TitelRegistry(const TitelRegistry&) = delete;
    TitelRegistry& operator=(const TitelRegistry&) = delete;

    const TitelDefCollection& definitions() const { return definitions_; }
    std::optional<TitelDef> find(const QString& key) const { return definitions_.find(key); }
    std::optional<TitelDef> find(const TitelId& id) const { return definitions_.find(id); }
    const KeyedCollection<QString>& folders() const { return folders_; }

    // Adds a definition at the end of the collection and its folder to the folders; false when
    // the title has a definition already. The folder is spelt as the folders know it.
    bool add(TitelDef def);
    // Puts a changed definition back at its place; or, with `toEnd`, at the end.
    void replace(const TitelDef& def, bool toEnd = false);
    // The folder as the folders spell it (the first spelling wins); empty stays empty.
    QString folderSpelling(const QString& ordner) const;
    void addFolder(const QString& ordner);
    void removeFolder(const QString& ordner) {
        folders_.remove(ordner);
        lastFolder_ = QString();
    }
    // Forgets a title: its recording stops and its title object goes with its subscription, so
    // that nothing of it stays subscribed for the rest of the run. Its data files stay. False
    // when the key is unknown.
    bool remove(const QString& key);
    // Forgets every definition and folder and releases the title objects.
    void clear();
    // Room for about `count` definitions whose texts take about `textBytes` (see load).
    void reserve(std::size_t count, std::size_t textBytes) {
        definitions_.reserve(count, textBytes);
    }

    // Starts (or restarts) recording a title: its title object, or a new one that starts from
    // what its files end with. False when the broker refuses the title or there is no
    // connection; the definition is not changed here.
    bool startRecording(const TitelDef& def);
    // Its updates are ignored from now on; the title object stays subscribed until released.
    void stopRecording(const TitelId& id);
    bool isRecording(const TitelId& id) const;
    // Whether titles can be subscribed at all: the session is logged in.
    bool connected() const { return session_.loggedIn(); }
    // Every subscription ends.
    void releaseTitleObjects() { titleObjects_.clear(); }
    const KeyedCollection<std::unique_ptr<TitelObjekt>>& titleObjects() const {
        return titleObjects_;
    }

    // Recorded titles, and those among them with bid and ask: what the main window shows.
    using Count = TitelDefCollection::Count;
    Count countRecording() const;
    // Titles switched on in their definitions, recorded at the moment or not (an outage).
    Count countActive() const;

    // Whoever changed titles says so once at the end (activation, loading); the recording core
    // passes it on to the windows.
    void setChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }
    void announceChange() const {
        if (changed_) changed_();
    }

private:
    BravoltSession& session_;
    TickSink& sink_;
    const Clock& clock_;
    TitelDefCollection definitions_;
    KeyedCollection<QString> folders_;
    // The folder of the definition added last (known to the folders), as given and as spelt:
    // titles in a row mostly share it, and a large file loads without looking each one up.
    QString lastFolder_, lastFolderSpelling_;
    std::function<void()> changed_;
    // Declared last, so that the title objects go first.
    KeyedCollection<std::unique_ptr<TitelObjekt>> titleObjects_;
};

}  // namespace vqs
