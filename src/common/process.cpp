#include "common/process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vqs {

qint64 processId() {
#ifdef _WIN32
    return static_cast<qint64>(GetCurrentProcessId());
#else
    return static_cast<qint64>(::getpid());
#endif
}

bool processRuns(qint64 pid) {
    if (pid <= 0) return false;
    if (pid == processId()) return true;
#ifdef _WIN32
    HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!p) return false;
    const bool running = WaitForSingleObject(p, 0) == WAIT_TIMEOUT;
    CloseHandle(p);
    return running;
#else
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

void raiseOpenFileLimit() {
#ifndef _WIN32
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
#endif
}

void keepOutOfCoreDumps() {
#ifdef __linux__
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

}  // namespace vqs
