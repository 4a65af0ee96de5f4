#pragma once

#include <QtGlobal>

namespace vqs {

// This process's number.
qint64 processId();
// Whether a process of that number runs on this machine (this one does).
bool processRuns(qint64 pid);

}  // namespace vqs
