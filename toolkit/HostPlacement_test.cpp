#include "toolkit/HostPlacement.h"

#include <gtest/gtest.h>

namespace {

// A host at (3, 29) of its parent with a 17-pixel scroll bar on its right,
// and a control that asks as the web browser does: its width or its height
// changed in the rectangle it was last given, the client area.
struct ScrollingHost {
    static constexpr int32_t kScrollBar = 17;
    HostRect window;

    HostRect Given() const { return {0, 0, window.right - window.left - kScrollBar, window.bottom - window.top}; }
    void Ask(const HostRect& asked) { window = HostRectForRequest(asked, Given(), window, window.left, window.top); }
    void PutWidth(int32_t width) {
        HostRect asked = Given();
        asked.right = asked.left + width;
        Ask(asked);
    }
    void PutHeight(int32_t height) {
        HostRect asked = Given();
        asked.bottom = asked.top + height;
        Ask(asked);
    }
};

TEST(HostPlacement, AWidthThenAHeightGiveTheHostBothWhateverItsScrollBar) {
    ScrollingHost host{{3, 29, 3 + 1354, 29 + 988}};
    // Wider and taller, narrower and shorter, one dimension alone, a change
    // of a single pixel.
    const struct { int32_t width, height; } sizes[] = {
        {1914, 1048}, {994, 668}, {1294, 668}, {1294, 728}, {1295, 729}, {600, 400},
    };
    for (const auto& size : sizes) {
        host.PutWidth(size.width);
        host.PutHeight(size.height);
        EXPECT_EQ(host.window, (HostRect{3, 29, 3 + size.width, 29 + size.height})) << size.width << "x" << size.height;
    }
}

TEST(HostPlacement, ARequestThatChangesNothingMovesNothing) {
    // Not even by the scroll bar's width, however often it comes.
    ScrollingHost host{{3, 29, 1917, 1077}};
    for (int i = 0; i < 3; ++i) host.Ask(host.Given());
    EXPECT_EQ(host.window, (HostRect{3, 29, 1917, 1077}));
}

TEST(HostPlacement, MovedEdgesAreMappedToTheParentAndTheOthersStay) {
    // A host whose client area starts 2 pixels inside its window (a border),
    // at (-40, 10) of its parent: the left and top edges move, the right and
    // bottom ones stay with the border.
    const HostRect window{-42, 8, 158, 108};
    const HostRect given{0, 0, 196, 96};
    EXPECT_EQ(HostRectForRequest({5, -3, 196, 96}, given, window, -40, 10), (HostRect{-35, 7, 158, 108}));
    // Without non-client parts it is the rectangle asked for, mapped.
    EXPECT_EQ(HostRectForRequest({0, 0, 300, 50}, {0, 0, 200, 100}, {10, 20, 210, 120}, 10, 20),
              (HostRect{10, 20, 310, 70}));
}

}  // namespace
