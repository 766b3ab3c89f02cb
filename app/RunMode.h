// The application object's run mode: which window the process shows.
#pragma once

#include <cstdint>

enum RunMode : int32_t {
    kRunModeConstructed = 0,  // nothing run yet
    kRunModeStartWindow = 1,  // show the start window
    kRunModeGameWindow = 2,   // show the game window
    kRunModeRestart = 3,      // a new build is installed: no window, restart it
    kRunModeEnd = 4,          // another copy of this folder is updating: no server, no window
};
