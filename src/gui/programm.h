#pragma once

#include "gui/shell/message_dialog.h"
#include "recording/instance_lock.h"
#include "recording/program_environment.h"
#include "recording/recorder.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLocalServer;

namespace vqs {

class Bravolt_Hauptfenster;
class Dateninspektor;
class ShutdownSignals;
class TrayShell;

// The desktop program's environment: besides the recording program's, its command line and
// what it needs of the desktop.
struct ProgramEnvironment : RecorderEnvironment {
    QString commandLine;                   // the arguments, blank-separated
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

// The desktop program: start-up in Main() with its windows around the recording core, shutdown
// through the main window, by a system signal or by the end of the desktop session.
class Programm {
public:
    explicit Programm(ProgramEnvironment env);
    ~Programm();
    Programm(const Programm&) = delete;
    Programm& operator=(const Programm&) = delete;

    // Runs the start-up; false when the program is to end at once (second instance, start hint
    // cancelled, no connection and "Nein", a start-up error, a close or a signal meanwhile).
    bool Main();
    // The exit code when Main() returned false: 1 for a second instance or a start-up error.
    int exitCode() const { return exitCode_; }
    // The back-fill of every active title from 00:00 with its progress window; Main() has it
    // run by the event loop right after start-up when "AutoDatenpflege" is on.
    void StartAutoDatenpflege();
    // Ends the program as "Beenden" with "/K" does: no question, also while dialogs are open
    // and also during start-up. For system signals and the end of the desktop session.
    void endNow();

    Recorder& recorder() { return *recorder_; }
    Bravolt_Hauptfenster* mainWindow() const { return window_.get(); }
    broker::SimulatedBroker* simulatedBroker() const { return defaults_.simulatedBroker(); }
    // The Dateninspektor of the run, made on first use; its open() throws what went wrong.
    Dateninspektor& dateninspektor();
    // "&Dateninspektor": the data file selection from the data folder, then the Dateninspektor on
    // the chosen file. Errors are shown as "Fehler aufgetreten: ...".
    void DateninspektorOeffnen();

private:
    void mainSteps();
    // True when start-up is to stop here: the window was closed or a signal came meanwhile.
    bool endRequested();
    void delayStart(double seconds);
    void listenForSecondStarts();
    // Asks the running program to show its window; false when none answers.
    bool showRunningProgram() const;

    ProgramEnvironment env_;
    MachineDefaults defaults_;
    QtMessagePresenter dialogMessages_;
    QtEventLoop loop_;
    std::unique_ptr<InstanceLock> instanceLock_;
    std::unique_ptr<QLocalServer> secondStarts_;
    std::unique_ptr<Recorder> recorder_;
    std::unique_ptr<TrayShell> ownTray_;
    std::unique_ptr<Bravolt_Hauptfenster> window_;
    std::unique_ptr<Dateninspektor> dateninspektor_;
    QString dateninspektorPfad_;
    std::unique_ptr<ShutdownSignals> signals_;
    bool starting_ = false;
    bool endRequested_ = false;
    int exitCode_ = 0;
};

}  // namespace vqs
