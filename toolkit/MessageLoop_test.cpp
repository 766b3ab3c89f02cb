#include "toolkit/MessageLoop.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "testsupport/TestWindows.h"

namespace {

struct RecordingFilter : CMessageFilter {
    RecordingFilter(std::vector<int>& order, int id, bool consume) : m_order(order), m_id(id), m_consume(consume) {}
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message != WM_APP) return FALSE;
        m_order.push_back(m_id);
        return m_consume;
    }
    std::vector<int>& m_order;
    int m_id;
    bool m_consume;
};

// Posts one message of its script each time the queue runs dry.
struct ScriptedIdleHandler : CIdleHandler {
    BOOL OnIdle() override {
        if (calls < script.size()) script[calls]();
        ++calls;
        return FALSE;
    }
    std::vector<std::function<void()>> script;
    size_t calls = 0;
};

// Counts WM_APP messages that were dispatched to a window.
int g_dispatched = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++g_dispatched;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeMessageWindow() {
    RegisterTestWindowClass(L"MessageLoopTestWindow", CountingProc);
    return ::CreateWindowExW(0, L"MessageLoopTestWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

TEST(AppModule, KeepsOneLoopPerThread) {
    CAppModule module;
    CMessageLoop mine, second, theirs;
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    ASSERT_TRUE(module.AddMessageLoop(&mine));
    EXPECT_FALSE(module.AddMessageLoop(&second));
    EXPECT_EQ(module.GetMessageLoop(), &mine);

    DWORD otherThread = 0;
    CMessageLoop* seenThere = &mine;
    bool addedThere = false;
    std::thread worker([&] {
        otherThread = ::GetCurrentThreadId();
        seenThere = module.GetMessageLoop();
        addedThere = module.AddMessageLoop(&theirs);
    });
    worker.join();
    EXPECT_EQ(seenThere, nullptr);
    EXPECT_TRUE(addedThere);
    EXPECT_EQ(module.GetMessageLoop(otherThread), &theirs);
    EXPECT_EQ(module.GetMessageLoop(), &mine);

    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_FALSE(module.RemoveMessageLoop());
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    module.Term();
    EXPECT_EQ(module.GetMessageLoop(otherThread), nullptr);
}

TEST(AppModule, ScopedLoopIsRegisteredForItsLifetime) {
    CAppModule module;
    {
        CScopedMessageLoop scoped(module);
        EXPECT_EQ(module.GetMessageLoop(), &scoped.Loop());
        CScopedMessageLoop nested(module);  // the thread has a loop already
        EXPECT_EQ(module.GetMessageLoop(), &scoped.Loop());
    }
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
}

TEST(MessageLoop, FiltersSeeMessagesNewestFirstAndCanConsumeThem) {
    std::vector<int> order;
    RecordingFilter older(order, 1, false), newer(order, 2, false), consuming(order, 3, true);
    CMessageLoop loop;
    ASSERT_TRUE(loop.AddMessageFilter(&older));
    ASSERT_TRUE(loop.AddMessageFilter(&newer));
    EXPECT_FALSE(loop.AddMessageFilter(&newer));
    EXPECT_FALSE(loop.AddMessageFilter(nullptr));

    MSG msg{};
    msg.message = WM_APP;
    EXPECT_FALSE(loop.PreTranslateMessage(&msg));
    EXPECT_EQ(order, (std::vector<int>{2, 1}));

    order.clear();
    ASSERT_TRUE(loop.AddMessageFilter(&consuming));
    EXPECT_TRUE(loop.PreTranslateMessage(&msg));
    EXPECT_EQ(order, (std::vector<int>{3}));

    EXPECT_TRUE(loop.RemoveMessageFilter(&consuming));
    EXPECT_FALSE(loop.RemoveMessageFilter(&consuming));
}

TEST(MessageLoop, RunDispatchesWhatNoFilterConsumed) {
    const HWND window = MakeMessageWindow();
    ASSERT_NE(window, nullptr);
    std::vector<int> order;
    RecordingFilter consumeAll(order, 1, true);
    CMessageLoop loop;

    g_dispatched = 0;
    loop.AddMessageFilter(&consumeAll);
    ::PostMessageW(window, WM_APP, 0, 0);
    ::PostQuitMessage(5);
    EXPECT_EQ(loop.Run(), 5);
    EXPECT_EQ(g_dispatched, 0);
    EXPECT_EQ(order.size(), 1u);

    loop.RemoveMessageFilter(&consumeAll);
    ::PostMessageW(window, WM_APP, 0, 0);
    ::PostMessageW(window, WM_APP, 0, 0);
    ::PostQuitMessage(0);
    EXPECT_EQ(loop.Run(), 0);
    EXPECT_EQ(g_dispatched, 2);
    ::DestroyWindow(window);
}

TEST(MessageLoop, IdleHandlersRunEachTimeTheQueueRunsDry) {
    const HWND window = MakeMessageWindow();
    ASSERT_NE(window, nullptr);
    ScriptedIdleHandler idle;
    idle.script = {[&] { ::PostMessageW(window, WM_APP, 0, 0); },
                   [&] { ::PostMessageW(window, WM_TIMER, 0, 0); },
                   [] { ::PostQuitMessage(3); }};
    CMessageLoop loop;
    ASSERT_TRUE(loop.AddIdleHandler(&idle));
    EXPECT_FALSE(loop.AddIdleHandler(&idle));

    g_dispatched = 0;
    // Idle, WM_APP, idle, WM_TIMER (which does not restart idle work)... and
    // nothing more ever arrives, so the third step must come from a message
    // that does restart it.
    idle.script[1] = [&] {
        ::PostMessageW(window, WM_TIMER, 0, 0);
        ::PostMessageW(window, WM_APP + 1, 0, 0);
    };
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_EQ(g_dispatched, 1);
    EXPECT_EQ(idle.calls, 3u);
    EXPECT_TRUE(loop.RemoveIdleHandler(&idle));
    EXPECT_FALSE(loop.RemoveIdleHandler(&idle));
    ::DestroyWindow(window);
}

}  // namespace
