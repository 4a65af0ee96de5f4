#pragma once

#include <QString>

namespace vqs {

// Replaces each of / \ : * ? " < > | by "-"; nothing else changes.
QString DateinameBereinigen(const QString& name);

// Replaces each of ( ) [ ] { } / \ : * ? ' " < > | by "-". A name made only of dots (".",
// "..") would name the data root or its parent, so its dots become "-" as well.
QString OrdnerNameBereinigen(const QString& name);

}  // namespace vqs
