#include "shell/help_viewer.h"

#include <gtest/gtest.h>
