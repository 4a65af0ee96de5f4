#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

namespace vqs {

class Clock;
class CoreReport;
class DataFileStore;
class DatenpflegeRun;
class TitelRegistry;
class BravoltSession;
struct RecorderOptions;

// Watches the broker connection of a recording program. A logout or a quote-status change
// raised by the broker, or a feed gone silent while quotes were arriving, is a loss: the
// subscriptions and the session are released and the program logs in again by itself with a
// growing delay (5 s, 10 s, 20 s, ... at most 5 minutes). After a login every active title is
// subscribed again and the gap in its paid-price file is filled from the broker's history; bid
// and ask cannot be filled, and the log says which span they lack.
class ConnectionWatchdog final : public QObject {
    Q_OBJECT
public:
    ConnectionWatchdog(BravoltSession& session, TitelRegistry& titles, DataFileStore& store,
                       DatenpflegeRun& datenpflege, const Clock& clock,
                       const RecorderOptions& options, CoreReport& report);
    ~ConnectionWatchdog() override;

    struct State {
        bool lost = false;
        QDateTime since;        // when the loss began
        QDateTime nextAttempt;  // invalid: no login is tried (switched off)
        int attempts = 0;       // failed logins since the loss
        QString reason;
    };
    const State& state() const { return state_; }

    // Checks once a second from now on (tests call poll() themselves).
    void start();
    void stop();
    // The program ends: nothing is tried any more, not even by a login that is under way.
    void end() {
        stop();
        ended_ = true;
    }
    // The program runs on without connection after its login failed: it is tried again as
    // after a loss.
    void startDisconnected(const QString& reason);
    // Notices, tries to log in when it is time, and fills the gap after a login.
    void poll();
    // Every quote update of a recording title comes here: cheap, the clock is read by poll().
    void quoteArrived() { quoteSeen_ = true; }

    // The delay before login number `failed` + 1 after a loss.
    static int delaySeconds(int failed);

Q_SIGNALS:
    // The state changed, or the session's with it (lost, logged in again).
    void changed();

private:
    void lose(QString reason, const QDateTime& since, const QDateTime& now);
    void attempt(const QDateTime& now);
    int resubscribe();
    void fillGap(QDateTime since, QDateTime until);

    BravoltSession& session_;
    TitelRegistry& titles_;
    DataFileStore& store_;
    DatenpflegeRun& datenpflege_;
    const Clock& clock_;
    const RecorderOptions& options_;
    CoreReport& report_;
    QTimer timer_;
    bool ended_ = false;
    State state_;
    QString reportedLoss_;  // raised by the broker, noticed at the next poll
    bool quoteSeen_ = false;
    bool quotesFlowed_ = false;
    QDateTime lastQuote_;
    bool busy_ = false;  // a login or gap fill is under way: the loop may call poll meanwhile
    // A gap that waits for a back-fill the user started to end: from when to when.
    QDateTime gapSince_, gapUntil_;
};

}  // namespace vqs
