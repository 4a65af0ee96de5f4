#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

namespace vqs::test {

TitelDef titel(const QString& code, const QString& ordner, bool aktiv, bool bidAsk) {
    TitelDef d;
    d.RT_WKN = d.WKN = code;
    d.Name = "Name " + code;
    d.Ordner = ordner;
    d.RT_Boerse = "ETR";
    d.Aktiv = aktiv;
    d.UseBidAsk = bidAsk;
    d.NeueNamen = true;
    return d;
}

TitelDef mercedesBenz() {
    TitelDef d = titel("710000", "Dax 30");
    d.Name = "Mercedes-Benz";
    return d;
}

bool waitForOutput(QProcess& program, QString& log, const QString& text) {
    while (!log.contains(text) && program.state() != QProcess::NotRunning &&
           program.waitForReadyRead(30000))
        log += QString::fromUtf8(program.readAllStandardError());
    log += QString::fromUtf8(program.readAllStandardError());
    return log.contains(text);
}

int vqsfeedPort(QProcess& feed, QString& log) {
    // The port line goes on with its peers: the number is whole once they are there.
    waitForOutput(feed, log, QStringLiteral("Gegenstellen"));
    const QRegularExpressionMatch port =
        QRegularExpression(QStringLiteral("auf Port (\\d+)")).match(log);
    return port.hasMatch() ? port.captured(1).toInt() : 0;
}

KilledAtEnd::~KilledAtEnd() {
    if (program.state() == QProcess::NotRunning) return;
    program.kill();
    program.waitForFinished();
}

bool killAfterSteps(const QString& program, const QStringList& arguments, int steps) {
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start(program, arguments);
    if (!helper.waitForStarted()) return false;
    int done = 0;
    while ((steps < 0 || done < steps) && helper.state() == QProcess::Running &&
           helper.waitForReadyRead(30000))
        done += static_cast<int>(helper.readAllStandardOutput().count('\n'));
    helper.kill();
    helper.waitForFinished(30000);
    return helper.state() == QProcess::NotRunning;
}

PausingHelper::PausingHelper() : process_(std::make_unique<QProcess>()) {
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
}
PausingHelper::~PausingHelper() { kill(); }

bool PausingHelper::start(const QString& program, const QStringList& arguments) {
    process_->start(program, arguments);
    return process_->waitForStarted();
}

bool PausingHelper::waitForPause() {
    QByteArray told;
    while (!told.contains("pause\n")) {
        if (process_->state() != QProcess::Running || !process_->waitForReadyRead(30000))
            return false;
        told += process_->readAllStandardOutput();
    }
    return true;
}

void PausingHelper::resume() {
    process_->write("\n");
    process_->waitForBytesWritten(30000);
}

void PausingHelper::kill() {
    if (process_->state() == QProcess::NotRunning) return;
    process_->kill();
    process_->waitForFinished(30000);
}

int PausingHelper::waitForExit() {
    if (!process_->waitForFinished(120000) && process_->state() != QProcess::NotRunning) return -1;
    return process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
}

qint64 PausingHelper::pid() const { return process_->processId(); }

bool waitUntilWaitingForLock(qint64 pid) {
    // A waiter's line: "1: -> FLOCK  ADVISORY  WRITE 1234 fd:00:5678 0 EOF".
    const QByteArray id = " " + QByteArray::number(pid) + " ";
    QDeadlineTimer failsafe(30000);
    while (!failsafe.hasExpired()) {
        QFile locks(QStringLiteral("/proc/locks"));
        if (!locks.open(QIODevice::ReadOnly)) return false;
        for (const QByteArray& line : locks.readAll().split('\n')) {
            if (line.contains("->") && line.contains(id)) return true;
        }
        QThread::yieldCurrentThread();
    }
    return false;
}

QByteArray encodeRecords(const std::vector<KursSatz>& records) {
    QByteArray bytes(static_cast<qsizetype>(records.size()) * kRecordSize, Qt::Uninitialized);
    for (size_t i = 0; i < records.size(); ++i)
        encodeKursSatz(records[i], bytes.data() + i * kRecordSize);
    return bytes;
}

bool marketHadPaidTick(const broker::SimulatedMarket& market, const QString& code,
                       const QString& exchange, const KursSatz& record) {
    const broker::SimInstrument* in = market.find(code);
    if (!in) return false;
    const QDateTime at = dateTimeFromSerial(record.Zeit);
    const int ms = at.time().msecsSinceStartOfDay();
    for (const broker::MarketEvent& ev :
         market.eventsInMinute(*in, exchange, at.date(), ms / 60000))
        if (ev.paid && ev.msOfDay == ms && static_cast<float>(ev.paidPrice) == record.Kurs &&
            static_cast<float>(ev.paidVolume) == record.Volume)
            return true;
    return false;
}

void inOneTurn(const std::function<void()>& handler) {
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        handler();
        loop.quit();
    });
    loop.exec();
    // The loop ended with the handler; the next look for events ends the turn.
    QCoreApplication::processEvents();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

int RecordingMessages::ShowMessage(const QString& text, int style) {
    shown.push_back({text, style});
    if (answers_.empty()) return msg::kResultNone;
    int r = answers_.front();
    answers_.pop_front();
    return r;
}

RecordedEvents::RecordedEvents(Recorder& recorder) {
    QObject::connect(
        &recorder, &Recorder::tickRecorded, &context_,
        [this](const TitelDef& def, Kursart kind, float kurs, float volume, double zeit) {
            ticks.push_back({def.id().text(), kind, kurs, volume, zeit});
        });
    QObject::connect(&recorder, &Recorder::startInfo, &context_,
                     [this](const QString& text) { startInfo << text; });
    QObject::connect(&recorder, &Recorder::loadProgressMaximum, &context_,
                     [this](int maximum) { progressMaximum = maximum; });
    QObject::connect(&recorder, &Recorder::loadProgress, &context_,
                     [this](int value) { progressValues.push_back(value); });
    QObject::connect(&recorder, &Recorder::titlesChanged, &context_, [this] { ++titlesChanged; });
    QObject::connect(&recorder, &Recorder::writeFailed, &context_,
                     [this](const QString& where, const QString& reason) {
                         failed << where + QStringLiteral(": ") + reason;
                     });
    QObject::connect(&recorder, &Recorder::writeFaultEnded, &context_,
                     [this](const QString& where) { faultsEnded << where; });
    QObject::connect(&recorder, &Recorder::logLine, &context_,
                     [this](const QString& text) { log << text; });
    QObject::connect(&recorder, &Recorder::warningLine, &context_,
                     [this](const QString& text) { warnings << text; });
}

TestContext::TestContext(BrokerSessionFactory factory, FileSystem& fs)
    : clock(QDateTime(QDate(2026, 12, 10), QTime(10, 0))),
      settings(dir.path() + QStringLiteral("/config"), QStringLiteral("TradomirVQS")),
      recorder(dir.path(), settings, clock, std::move(factory), fs),
      events(recorder) {
    recorder.setMessagePresenter(&messages);
    recorder.setEventLoop(&loop);
    recorder.prepareDataFolder();
}

bool TestContext::loginWith(const std::vector<TitelDef>& titles) {
    return recorder.login() && record(titles);
}

bool TestContext::record(const std::vector<TitelDef>& titles) {
    bool recording = true;
    for (const TitelDef& def : titles) {
        recorder.titles().add(def);
        if (def.Aktiv) recording = recorder.titles().startRecording(def) && recording;
    }
    return recording;
}

SimulatedContext::SimulatedContext(const broker::SimulationSettings& simulation, FileSystem& fs)
    : TestContext([this] { return broker_->createSession(); }, fs),
      broker_(std::make_unique<broker::SimulatedBroker>(simulation, clock)) {}

}  // namespace vqs::test
