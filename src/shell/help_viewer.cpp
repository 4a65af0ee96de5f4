#include "shell/help_viewer.h"
