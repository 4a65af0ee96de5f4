#include "recording/shutdown_signals.h"

#include <QSocketNotifier>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vqs {

#ifndef _WIN32

namespace {

int gPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onSystemSignal(int signal) {
    // Only what is safe in a signal handler: one write, errno kept.
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

ShutdownSignals::ShutdownSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readSignal(); });
    struct sigaction action {};
    action.sa_handler = onSystemSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals) sigaction(s, &action, nullptr);
}

ShutdownSignals::~ShutdownSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s : kSignals) sigaction(s, &action, nullptr);
    delete notifier_;
    for (int& fd : gPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void ShutdownSignals::readSignal() {
    char byte = 0;
    while (::read(gPipe[0], &byte, 1) == 1) {
        if (onSignal_) onSignal_(byte);
    }
}

#else

// Windows ends console-less programs through the session's end instead.
ShutdownSignals::ShutdownSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {}
ShutdownSignals::~ShutdownSignals() = default;
void ShutdownSignals::readSignal() {}

#endif

}  // namespace vqs
