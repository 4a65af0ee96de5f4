#pragma once

#include "common/kursart.h"
#include "model/titel_def.h"

#include <QString>

namespace vqs {

// The name of the title's data file of this kind, without folder.
QString buildFileName(const TitelDef& def, Kursart kind);

// The title's folder below the data root, with a trailing separator; nothing is created.
QString folderPath(const QString& dataRoot, const TitelDef& def);

}  // namespace vqs
