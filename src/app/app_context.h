#pragma once

#include "broker/bravolt_session.h"
#include "common/keyed_collection.h"
#include "common/serial_date.h"
#include "common/ui_ports.h"
#include "datafiles/tick_writer.h"
#include "app/settings_store.h"
#include "titles/titel_def.h"

#include <QString>

#include <memory>

namespace vqs {

class clTitelObjekt;

// The switches read once at start.
struct AppOptions {
    bool UmsatzFilterBezahlt = false;
    bool UmsatzFilterAndere = false;
    bool AutoDatenpflege = false;
    bool OhneRueckfrage = false;
};

// What lives from start-up to the end of the program: the title collections, the data folder,
// the options and the ports to the user interface. Every test builds its own.
class AppContext {
public:
    AppContext(QString programFolder, SettingsStore& settings, const Clock& clock,
               BrokerSessionFactory brokerFactory = {});
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    const QString& programFolder() const { return programFolder_; }
    QString definitionsFilePath() const;

    SettingsStore& settings() { return settings_; }
    const Clock& clock() const { return clock_; }

    MessagePresenter& messages() { return *messages_; }
    EventLoopPort& loop() { return *loop_; }
    MainWindowPort& mainWindow() { return *mainWindow_; }
    void setMessagePresenter(MessagePresenter* p);
    void setEventLoop(EventLoopPort* p);
    void setMainWindow(MainWindowPort* p);

    clBravoltSession& Session() { return session_; }
    TickWriter& tickWriter() { return tickWriter_; }

    QString Datenpfad;
    QString DateninspektorPfad;
    AppOptions options;
    KeyedCollection<TitelDef> TitelDefinitionen;
    KeyedCollection<QString> Ordnerliste;

private:
    QString programFolder_;
    SettingsStore& settings_;
    const Clock& clock_;
    MessagePresenter* messages_;
    EventLoopPort* loop_;
    MainWindowPort* mainWindow_;
    clBravoltSession session_;
    TickWriter tickWriter_;

public:
    // Declared last so that the title objects, which hold subscriptions of the session, go first.
    KeyedCollection<std::unique_ptr<clTitelObjekt>> TitelObjekte;
};

}  // namespace vqs
