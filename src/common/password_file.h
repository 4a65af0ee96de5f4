#pragma once

#include <QString>

namespace vqs {

// The first line of a password file, which must be a file readable by its owner only; throws
// VqsError with the reason otherwise.
QString readPasswordFile(const QString& path);

}  // namespace vqs
