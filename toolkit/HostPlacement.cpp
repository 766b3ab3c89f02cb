#include "toolkit/HostPlacement.h"

namespace {

// One edge: where the control asks for it when it moves it, else where the
// window has it. An edge asked for exactly where the control already has it
// cannot be told from one the control merely copied from its rectangle, so
// it counts as unchanged.
int32_t Edge(int32_t asked, int32_t given, int32_t window, int32_t origin) {
    return asked == given ? window : origin + asked;
}

}  // namespace

HostRect HostRectForRequest(const HostRect& asked, const HostRect& given, const HostRect& window, int32_t originX,
                            int32_t originY) {
    return {Edge(asked.left, given.left, window.left, originX), Edge(asked.top, given.top, window.top, originY),
            Edge(asked.right, given.right, window.right, originX),
            Edge(asked.bottom, given.bottom, window.bottom, originY)};
}
