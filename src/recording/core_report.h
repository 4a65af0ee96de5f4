#pragma once

#include "common/ui_ports.h"

#include <QString>

namespace vqs {

// Where the parts of the recording core tell what happens: the log, the warnings the user must
// not miss, and the questions and notices. The Recorder is it; the parts beside it (the
// back-fill run, the connection watchdog) know only this of it.
class CoreReport {
public:
    virtual ~CoreReport() = default;
    virtual void log(const QString& text) = 0;
    virtual void warn(const QString& text) = 0;
    virtual MessagePresenter& messages() = 0;
};

}  // namespace vqs
