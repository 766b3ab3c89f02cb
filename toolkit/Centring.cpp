#include "toolkit/Centring.h"

namespace {

int CentreAlong(int size, int overStart, int overEnd, int workStart, int workEnd) {
    int start = overStart + ((overEnd - overStart) - size) / 2;
    if (start + size > workEnd) start = workEnd - size;
    if (start < workStart) start = workStart;
    return start;
}

}  // namespace

CentringPoint CentredOrigin(int width, int height, CentringRect over, CentringRect work) {
    return {CentreAlong(width, over.left, over.right, work.left, work.right),
            CentreAlong(height, over.top, over.bottom, work.top, work.bottom)};
}
