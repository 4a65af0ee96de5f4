#include "shell/sys_tray.h"

// Implementation pending.
