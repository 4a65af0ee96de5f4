#include "shell/sys_tray.h"

#include <gtest/gtest.h>
