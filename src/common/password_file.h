#pragma once

#include "common/result.h"

#include <QString>

namespace vqs {

// The first line of a password file, which must be a file readable by its owner only; else why
// not (the error's code is errno, or kPasswordRefused for a file that is no such file).
Result<QString> readPassword(const QString& path);
inline constexpr int kPasswordRefused = -1;

}  // namespace vqs
