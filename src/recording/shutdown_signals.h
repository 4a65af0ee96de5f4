#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace vqs {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the event loop's thread, so that a program
// told to end by the system runs its normal shutdown. The handler itself only writes a byte to a
// pipe; a socket notifier reads it. One at a time; the default handlers come back when it goes.
class ShutdownSignals final : public QObject {
public:
    explicit ShutdownSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~ShutdownSignals() override;

private:
    void readSignal();

    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vqs
