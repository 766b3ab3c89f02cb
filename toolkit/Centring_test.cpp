#include "toolkit/Centring.h"

#include <gtest/gtest.h>

namespace {

TEST(Centring, CentresOverTheAreaAndStaysInsideTheWorkArea) {
    const CentringRect work{0, 0, 1920, 1040};
    CentringPoint p = CentredOrigin(400, 300, work, work);
    EXPECT_EQ(p.x, 760);
    EXPECT_EQ(p.y, 370);
    // Over an owner near the right edge: pushed back inside.
    p = CentredOrigin(400, 300, {1800, 100, 1900, 200}, work);
    EXPECT_EQ(p.x, 1520);
    EXPECT_EQ(p.y, 0);
    // Larger than the work area: the top-left edge wins.
    p = CentredOrigin(2000, 1200, work, work);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    // A work area that does not start at 0 (a second monitor on the left).
    p = CentredOrigin(100, 100, {-1280, 0, 0, 1024}, {-1280, 0, 0, 984});
    EXPECT_EQ(p.x, -690);
    EXPECT_EQ(p.y, 462);
}

}  // namespace
