#pragma once

#include "tools/vqstool_commands.h"

#include <QString>
#include <QStringList>

namespace vqs::test {

struct ToolRun {
    int rc;
    QString out;
    QString err;
};

inline ToolRun runTool(const QStringList& args) {
    QString out, err;
    QTextStream o(&out), e(&err);
    int rc = runVqstool(args, o, e);
    o.flush();
    e.flush();
    return {rc, out, err};
}

}  // namespace vqs::test
