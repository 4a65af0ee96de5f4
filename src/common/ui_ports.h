#pragma once

#include <QString>

namespace vqs {

// Styles and results of ShowMessage, those of the standard message box.
namespace msg {
inline constexpr int kOk = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kAbortIgnore = 2;
inline constexpr int kYesNoCancel = 3;
inline constexpr int kYesNo = 4;
inline constexpr int kRetryCancel = 5;
inline constexpr int kDefaultButton2 = 0x100;
inline constexpr int kDefaultButton3 = 0x200;

inline constexpr int kResultNone = 0;
inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;
inline constexpr int kResultAbort = 3;
inline constexpr int kResultRetry = 4;
inline constexpr int kResultIgnore = 5;
inline constexpr int kResultJa = 6;
inline constexpr int kResultNein = 7;
}  // namespace msg

// Every notice and question of the system goes through here.
class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    virtual int ShowMessage(const QString& text, int style) = 0;
};

// What a long core operation needs from the event loop: to let it breathe, and the hourglass.
class EventLoopPort {
public:
    virtual ~EventLoopPort() = default;
    virtual void yield() {}
    virtual void setBusy(bool /*busy*/) {}
};

// Shows the hourglass while it lives, on every way out.
class BusyGuard {
public:
    explicit BusyGuard(EventLoopPort& loop) : loop_(loop) { loop_.setBusy(true); }
    ~BusyGuard() { loop_.setBusy(false); }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    EventLoopPort& loop_;
};

}  // namespace vqs
