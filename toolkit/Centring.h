// Where a window goes when it is centred. No Windows header.
#pragma once

struct CentringRect {
    int left, top, right, bottom;
};

struct CentringPoint {
    int x, y;
};

// The top-left corner that centres a width x height window over `over`, then
// moves it back inside `work` where it sticks out (the top-left edge wins
// when the window is larger than the work area).
CentringPoint CentredOrigin(int width, int height, CentringRect over, CentringRect work);
