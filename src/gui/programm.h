#pragma once

#include "app/app_context.h"
#include "gui/shell/message_dialog.h"

#include <QLockFile>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace vqs {

class Bravolt_Hauptfenster;
class TrayShell;
namespace broker {
class SimulatedBroker;
}

// What the program meets when it starts: its command line, folders, settings, clock, broker
// and platform. Tests give their own; the desktop program takes the defaults.
struct ProgramEnvironment {
    QString commandLine;  // the arguments, blank-separated
    QString programFolder;
    SettingsStore* settings = nullptr;
    const Clock* clock = nullptr;
    BrokerSessionFactory brokerFactory;  // none: the built-in simulated broker
    QString instanceLockPath;            // empty: one per user
    // Free kilobytes of the volume of a path; none when it cannot be asked.
    std::function<std::optional<qint64>(const QString&)> freeKilobytes;
    MessagePresenter* messages = nullptr;  // none: the program's message dialog
    TrayShell* trayShell = nullptr;        // none: the desktop's notification area
    bool trayAvailable = true;             // with a trayShell given
    // Waits a little while letting events run (the start delay); tests move their clock here.
    std::function<void()> waitABit;
};

// "/W" anywhere in the upper-cased command line, followed by its leading number: the start
// delay in seconds, at most 32000; below 1 there is none (0).
double startDelaySeconds(const QString& commandLine);
// "/K" anywhere in the upper-cased command line.
bool quitWithoutQuestion(const QString& commandLine);

// The running program: start-up in Main(), shutdown through the main window.
class Programm {
public:
    explicit Programm(ProgramEnvironment env);
    ~Programm();
    Programm(const Programm&) = delete;
    Programm& operator=(const Programm&) = delete;

    // Runs the start-up; false when the program is to end at once (second instance, start hint
    // cancelled, no connection and "Nein", a start-up error).
    bool Main();
    void StartAutoDatenpflege();

    AppContext& context() { return *ctx_; }
    Bravolt_Hauptfenster* mainWindow() const { return window_.get(); }
    broker::SimulatedBroker* simulatedBroker() const { return simulated_.get(); }

private:
    void mainSteps();
    void delayStart(double seconds);
    void warnAboutFreeSpace(const QString& datenpfad);

    ProgramEnvironment env_;
    std::unique_ptr<SettingsStore> ownSettings_;
    std::unique_ptr<Clock> ownClock_;
    std::unique_ptr<broker::SimulatedBroker> simulated_;
    QtMessagePresenter dialogMessages_;
    QtEventLoop loop_;
    std::unique_ptr<QLockFile> instanceLock_;
    std::unique_ptr<AppContext> ctx_;
    std::unique_ptr<TrayShell> ownTray_;
    std::unique_ptr<Bravolt_Hauptfenster> window_;
};

}  // namespace vqs
