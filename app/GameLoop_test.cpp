#include "app/GameLoop.h"

#include <gtest/gtest.h>

#include <vector>

#include "testsupport/TestWindows.h"
#include "toolkit/MessageLoop.h"

namespace {

// What the windows of one test saw.
struct Seen {
    std::vector<UINT> forwarded;   // messages the browser host was offered
    std::vector<UINT> dispatched;  // messages that reached a window procedure
    bool consume = false;          // the host's answer to WM_FORWARDMSG
};
Seen* g_seen = nullptr;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_FORWARDMSG) {
        g_seen->forwarded.push_back(reinterpret_cast<const MSG*>(lParam)->message);
        return g_seen->consume ? 1 : 0;
    }
    if (message == WM_KEYDOWN || message == WM_LBUTTONDOWN || message == WM_USER) {
        g_seen->dispatched.push_back(message);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The game window with a child and a grandchild, a separate top-level window
// (as a message box would be), and the browser host.
class GameLoopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterTestWindowClass(L"GameLoopTestWindow", RecordingProc); }
    void SetUp() override {
        g_seen = &m_seen;
        m_game = Make(WS_OVERLAPPEDWINDOW, nullptr);
        m_child = Make(WS_CHILD | WS_VISIBLE, m_game);
        m_grandchild = Make(WS_CHILD | WS_VISIBLE, m_child);
        m_other = Make(WS_OVERLAPPEDWINDOW, nullptr);
        m_host = Make(WS_CHILD, m_game);
    }
    void TearDown() override {
        ::DestroyWindow(m_other);
        ::DestroyWindow(m_game);
        g_seen = nullptr;
    }
    static HWND Make(DWORD style, HWND parent) {
        return ::CreateWindowExW(0, L"GameLoopTestWindow", L"", style, 0, 0, 100, 100, parent, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    }
    static MSG Message(HWND target, UINT message) {
        MSG msg{};
        msg.hwnd = target;
        msg.message = message;
        return msg;
    }

public:
    // Lets RunGameWindowLoop read the handles as the game window provides them.
    HWND GetHwnd() const { return m_game; }
    HWND GetBrowserHostWindow() const { return m_host; }

protected:
    Seen m_seen;
    HWND m_game = nullptr, m_child = nullptr, m_grandchild = nullptr, m_other = nullptr, m_host = nullptr;
};

TEST_F(GameLoopTest, InputForTheGameWindowAndItsDescendantsIsOffered) {
    m_seen.consume = true;
    EXPECT_TRUE(OfferToBrowser(Message(m_game, WM_KEYDOWN), m_game, m_host));
    EXPECT_TRUE(OfferToBrowser(Message(m_child, WM_LBUTTONDOWN), m_game, m_host));
    EXPECT_TRUE(OfferToBrowser(Message(m_grandchild, WM_MOUSEWHEEL), m_game, m_host));
    EXPECT_EQ(m_seen.forwarded, (std::vector<UINT>{WM_KEYDOWN, WM_LBUTTONDOWN, WM_MOUSEWHEEL}));

    m_seen.consume = false;
    EXPECT_FALSE(OfferToBrowser(Message(m_child, WM_CHAR), m_game, m_host));
    EXPECT_EQ(m_seen.forwarded.size(), 4u);
}

TEST_F(GameLoopTest, OtherWindowsAndOtherMessagesAreNotOffered) {
    m_seen.consume = true;
    EXPECT_FALSE(OfferToBrowser(Message(m_other, WM_KEYDOWN), m_game, m_host));
    EXPECT_FALSE(OfferToBrowser(Message(m_game, WM_PAINT), m_game, m_host));
    EXPECT_FALSE(OfferToBrowser(Message(m_game, WM_COMMAND), m_game, m_host));
    EXPECT_FALSE(OfferToBrowser(Message(m_game, WM_KEYDOWN), m_game, nullptr));
    EXPECT_FALSE(OfferToBrowser(Message(m_game, WM_KEYDOWN), nullptr, m_host));
    EXPECT_TRUE(m_seen.forwarded.empty());
}

TEST_F(GameLoopTest, LoopSkipsWhatTheBrowserConsumedAndEndsWithTheQuitCode) {
    m_seen.consume = true;
    ::PostMessageW(m_child, WM_KEYDOWN, VK_TAB, 0);       // consumed by the browser
    ::PostMessageW(m_other, WM_LBUTTONDOWN, 0, 0);        // not the game window: dispatched
    ::PostMessageW(m_game, WM_USER, 0, 0);                // not input: dispatched
    ::PostQuitMessage(7);
    EXPECT_EQ(RunGameWindowLoop(*this), 7);
    EXPECT_EQ(m_seen.forwarded, (std::vector<UINT>{WM_KEYDOWN}));
    EXPECT_EQ(m_seen.dispatched, (std::vector<UINT>{WM_LBUTTONDOWN, WM_USER}));
}

TEST_F(GameLoopTest, LoopDispatchesWhatTheBrowserDeclined) {
    m_seen.consume = false;
    ::PostMessageW(m_grandchild, WM_KEYDOWN, VK_F5, 0);  // translates to no character
    ::PostQuitMessage(1);
    EXPECT_EQ(RunGameWindowLoop(*this), 1);
    EXPECT_EQ(m_seen.forwarded, (std::vector<UINT>{WM_KEYDOWN}));
    EXPECT_EQ(m_seen.dispatched, (std::vector<UINT>{WM_KEYDOWN}));
}

}  // namespace
