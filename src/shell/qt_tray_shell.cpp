#include "shell/qt_tray_shell.h"
