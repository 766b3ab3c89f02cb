// Tests that empty the user's cookies and URL cache run only where those
// belong to nobody: under Wine, in the project's own prefix. On Windows, or
// in a developer's own prefix, they are skipped. Header only.
#pragma once

#include <gtest/gtest.h>

#include "testsupport/WinePrefix.h"

// The first statement of such a test.
#define SKIP_OUTSIDE_PRIVATE_WINE_PREFIX() \
    if (!InPrivateWinePrefix()) GTEST_SKIP() << "clears the user's cookies: runs only in build/wineprefix or build/wineprefix64"
