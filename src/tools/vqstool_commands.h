#pragma once

#include <QStringList>
#include <QTextStream>

namespace vqs {

// The command-line tool for data and definitions files. args excludes the program name.
// Returns the process exit code.
int runVqstool(const QStringList& args, QTextStream& out, QTextStream& err);

}  // namespace vqs
