#pragma once

// QCustomPlot's header uses Qt's keyword macros, which the program turns off (they clash with
// other libraries); they are on for this header alone.
#define signals Q_SIGNALS
#define slots Q_SLOTS
#define emit Q_EMIT
#define foreach Q_FOREACH
#include <qcustomplot.h>
#undef signals
#undef slots
#undef emit
#undef foreach
