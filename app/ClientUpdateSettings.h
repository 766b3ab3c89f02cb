// This client's own update settings, built in with it.
#pragma once

#include "update/SelfUpdate.h"

// The update base, the update key and the local version (string resource
// 1016) this client was built with; the module path and executable name are
// left to the caller.
UpdateSettings ClientUpdateSettings();
