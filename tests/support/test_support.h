#pragma once

#include "broker/simulated_broker.h"
#include "broker/simulated_market.h"
#include "common/serial_date.h"
#include "common/ui_ports.h"
#include "datafiles/datei_kopf.h"
#include "recording/recorder.h"
#include "recording/settings_store.h"
#include "support/manual_clock.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace vqs::test {

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

// A definition of `code` on Xetra named "Name <code>", filed in `ordner`, with file names that
// carry the exchange: the one way a test makes a title (it changes what it needs afterwards).
TitelDef titel(const QString& code, const QString& ordner, bool aktiv = false, bool bidAsk = false);
// 710000 "Mercedes-Benz" on Xetra in "Dax 30": the title of the data file tests.
TitelDef mercedesBenz();
// Records as they stand in a data file, one after the other.
QByteArray encodeRecords(const std::vector<KursSatz>& records);
// Whether the simulated market had this paid tick of `code` on `exchange`: a trade at the
// record's millisecond with its price and volume.
bool marketHadPaidTick(const broker::SimulatedMarket& market, const QString& code,
                       const QString& exchange, const KursSatz& record);
// Runs `handler` as one turn of a running event loop, as the broker's quote events run: the ticks
// it hands to the store are written when the turn has ended, before this returns.
void inOneTurn(const std::function<void()>& handler);
// Runs a helper program that writes a line for each step it has done and kills it without
// warning after `steps` of them (0: right at its start; less than 0: never). True once it has
// stopped.
bool killAfterSteps(const QString& program, const QStringList& arguments, int steps);

// Reads a program's standard error into `log` until it holds `text`, the program has ended or
// half a minute passed without a word; whether it holds `text`.
bool waitForOutput(QProcess& program, QString& log, const QString& text);
// The port vqsfeed names in its first line ("… auf Port N …"), read into `log`; 0 when none came.
int vqsfeedPort(QProcess& feed, QString& log);
// Kills a program the test started when the test ends, however it ends.
struct KilledAtEnd {
    QProcess& program;
    ~KilledAtEnd();
};

// A helper program that writes a line for each step it has done, "pause" when it stops at the
// step it was told, and goes on at a line on its standard input.
class PausingHelper {
public:
    PausingHelper();
    ~PausingHelper();  // kills it when it still runs
    bool start(const QString& program, const QStringList& arguments);
    bool waitForPause();
    void resume();
    void kill();
    // Its exit code once it has ended by itself; -1 when it was killed or did not end.
    int waitForExit();
    qint64 pid() const;

private:
    std::unique_ptr<QProcess> process_;
};
// Waits until process `pid` waits for a file's lock (as /proc/locks tells). False when it does
// not within half a minute.
bool waitUntilWaitingForLock(qint64 pid);

// Records every message and answers from a queue of prepared results (0 when empty).
class RecordingMessages final : public MessagePresenter {
public:
    struct Shown {
        QString text;
        int style;
    };
    int ShowMessage(const QString& text, int style) override;
    void answerNext(int result) { answers_.push_back(result); }
    std::vector<Shown> shown;

private:
    std::deque<int> answers_;
};

// Records what the recording core reports.
class RecordedEvents {
public:
    explicit RecordedEvents(Recorder& recorder);
    struct Tick {
        QString key;
        Kursart kind;
        float kurs;
        float volume;
        double zeit;
    };
    std::vector<Tick> ticks;
    QStringList startInfo;
    int progressMaximum = -1;
    std::vector<int> progressValues;
    int titlesChanged = 0;
    QStringList failed;  // "where: reason"
    QStringList faultsEnded;
    QStringList log;
    QStringList warnings;  // the lines of `log` that were warnings

private:
    QObject context_;  // the connections end with this
};

class CountingLoop final : public EventLoopPort {
public:
    void yield() override { ++yields; }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    int yields = 0;
    int busyDepth = 0;
};

// A program folder, a settings root and a recording core wired to recording ports, in a temp
// folder, with its data folder made; the broker is the given factory (a fake or the simulated
// service), none by default.
struct TestContext {
    explicit TestContext(BrokerSessionFactory factory = {}, FileSystem& fs = systemFileSystem());
    QString datenpfad() const { return recorder.datenpfad(); }
    // Logs the recording core in to its broker and records `titles`. True when the login worked
    // and every active title records.
    [[nodiscard]] bool loginWith(const std::vector<TitelDef>& titles = {});
    // Records `titles` as a start does: each definition is added, the active ones start
    // recording. True when every active one records.
    [[nodiscard]] bool record(const std::vector<TitelDef>& titles);
    QTemporaryDir dir;
    ManualClock clock;
    SettingsStore settings;
    RecordingMessages messages;
    CountingLoop loop;
    Recorder recorder;
    RecordedEvents events;
};

// A TestContext on the simulated broker, whose market runs on the context's clock.
struct SimulatedContext : TestContext {
    explicit SimulatedContext(const broker::SimulationSettings& simulation = {},
                              FileSystem& fs = systemFileSystem());
    broker::SimulatedBroker& broker() { return *broker_; }

private:
    std::unique_ptr<broker::SimulatedBroker> broker_;
};

}  // namespace vqs::test
