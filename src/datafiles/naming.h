#pragma once

#include "common/kursart.h"
#include "titles/titel_def.h"

#include <QString>

namespace vqs {

// Replaces each of / \ : * ? " < > | by "-"; nothing else changes.
QString DateinameBereinigen(const QString& name);

// Replaces each of ( ) [ ] { } / \ : * ? ' " < > | by "-". A name made only of dots (".",
// "..") would name the data root or its parent, so its dots become "-" as well.
QString OrdnerNameBereinigen(const QString& name);

// The name of the title's data file of this kind, without folder. For kinds 0 to 2 the name is
// remembered in def.Dateinamen; the caller puts the changed definition back where it belongs.
QString buildFileName(TitelDef& def, Kursart kind);

// The title's folder below the data root, with a trailing separator; the folder is created
// when it is missing (one level; errors are left to the caller's file open).
QString buildFolder(const QString& dataRoot, const TitelDef& def);

// The folder path without creating anything.
QString folderPath(const QString& dataRoot, const TitelDef& def);

}  // namespace vqs
