#include "gui/backfill/datenpflege_fenster.h"
