#pragma once

#include "common/kursart.h"
#include "titles/titel_def.h"

#include <QString>

namespace vqs {

// Replaces each of / \ : * ? " < > | by "-", and control characters (NUL among them, which would
// cut a path short) as well; nothing else changes.
QString DateinameBereinigen(const QString& name);

// Replaces each of ( ) [ ] { } / \ : * ? ' " < > | and control characters by "-". A name made
// only of dots (".", "..") would name the data root or its parent, so its dots become "-" as well.
QString OrdnerNameBereinigen(const QString& name);

// A folder name as the user typed it, made a title's `Ordner`: sanitised, without the blanks
// around it (a name of blanks only is no folder: the title's files lie in the data root).
QString ordnerAusEingabe(const QString& typed);

// The name of the title's data file of this kind, without folder.
QString buildFileName(const TitelDef& def, Kursart kind);

// The title's folder below the data root, with a trailing separator; nothing is created.
QString folderPath(const QString& dataRoot, const TitelDef& def);

}  // namespace vqs
