#pragma once

#include "common/serial_date.h"

#include <QDateTime>

namespace vqs {

// A clock that moves only when told to: tests and benchmarks drive the simulated market with it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start) : now_(std::move(start)) {}
    QDateTime now() const override { return now_; }
    void set(QDateTime t) { now_ = std::move(t); }
    void advanceMs(qint64 ms) { now_ = now_.addMSecs(ms); }

private:
    QDateTime now_;
};

}  // namespace vqs
