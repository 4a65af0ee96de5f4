#pragma once

#include <QString>

namespace vqs {

// The program's home folder: $TRADOMIR_VQS_HOME when set, else the executable's folder when it
// is writable (a portable install), else the per-user data folder. Created when missing.
QString resolveProgramFolder(const QString& executableFolder);

}  // namespace vqs
