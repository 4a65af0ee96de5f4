#pragma once

#include <QtGlobal>

namespace vqs {

// This process's number.
qint64 processId();
// Whether a process of that number runs on this machine (this one does).
bool processRuns(qint64 pid);
// Lets this process open as many files as the system allows it (the soft limit up to the hard
// one): the data-file store keeps most of them open between ticks.
void raiseOpenFileLimit();
// Keeps this process's memory out of core dumps (and from other processes of the user), once it
// holds a secret such as the quote source's password.
void keepOutOfCoreDumps();

}  // namespace vqs
