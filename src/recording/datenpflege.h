#pragma once

#include "datafiles/history_merge.h"
#include "model/titel_def.h"
#include "recording/core_report.h"
#include "recording/settings_store.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace vqs {

class Clock;
class BravoltSession;
class DataFileStore;
class TitelRegistry;

// What a back-fill run shows and asks: the progress window of the desktop program, or the log
// of the headless recorder.
class DatenpflegeProgress : public MergeProgress {
public:
    // "Titel: …", "Status: …", "Kursart: …", "Datum: …"
    virtual void titel(const QString& /*text*/) {}
    virtual void status(const QString& /*text*/) {}
    virtual void kursart(const QString& /*text*/) {}
    virtual void datum(const QString& /*text*/) {}
    // The user asked to cancel ("Abbruch"); checked before fetching, before merging and after
    // each title.
    virtual bool cancelRequested() { return false; }
    // An error of the run; false: the run shows it as a message.
    virtual bool tellError(const QString& /*text*/) { return false; }
};

// A title to fill, from a time of day (a fraction of a day) on.
struct DatenpflegeTitel {
    TitelDef def;
    double startzeit = 0;
};

struct DatenpflegeResult {
    bool started = true;  // false: another run was under way, nothing was done
    int merged = 0;       // titles whose file got the broker's ticks
    QStringList skipped;  // titles whose history request failed: their files were not filled
    bool cancelled = false;
    QString error;  // a run step failed ("Fehler bei Kurspflege aufgetreten: " was told)
};

// A run's progress as log lines: each title and each change of its state, once. Signals and the
// recording go on meanwhile.
class LogProgress final : public DatenpflegeProgress {
public:
    explicit LogProgress(std::function<void(const QString&)> log) : log_(std::move(log)) {}
    void titel(const QString& text) override;
    void status(const QString& text) override;
    void yield() override;
    bool tellError(const QString& text) override {
        log_(text);
        return true;
    }

private:
    std::function<void(const QString&)> log_;
    QString titel_;
    QString status_;
};

// The active titles, in the order of the definitions: what the back-fill at start covers.
std::vector<TitelDef> aktiveTitel(const TitelRegistry& titles);

// The back-fill ("Datenpflege"): for each title, the broker's paid-price ticks of the current day
// from `startzeit` (a time of day) on, merged into the title's paid-price file. One run at a
// time; realtime recording goes on meanwhile.
class DatenpflegeRun {
public:
    DatenpflegeRun(BravoltSession& session, DataFileStore& store, const Clock& clock,
                   const RecorderOptions& options, CoreReport& report)
        : session_(session), store_(store), clock_(clock), options_(options), report_(report) {}

    // Runs over the titles in order; nothing is done while another run is under way.
    DatenpflegeResult run(const std::vector<TitelDef>& titles, double startzeit,
                          DatenpflegeProgress& progress);
    // The same with a start time of each title's own.
    DatenpflegeResult run(const std::vector<DatenpflegeTitel>& titles,
                          DatenpflegeProgress& progress);
    bool running() const { return running_; }
    // The program ends: the run under way stops after the file it is merging, quietly, and none
    // starts any more.
    void stop() { stopped_ = true; }

private:
    BravoltSession& session_;
    DataFileStore& store_;
    const Clock& clock_;
    const RecorderOptions& options_;
    CoreReport& report_;
    bool running_ = false;
    bool stopped_ = false;
};

}  // namespace vqs
