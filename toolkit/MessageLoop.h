// The per-thread message loop with message filters and idle handlers, and the
// application module that keeps one loop for each thread.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <vector>

// The control host's "offer this message to the control" request; lParam is
// the address of the MSG. A non-zero result means the control consumed it.
inline constexpr UINT WM_FORWARDMSG = 0x037F;

// Sees a message before it is translated and dispatched.
class CMessageFilter {
public:
    // Returns TRUE when the message was consumed and must not be dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg) = 0;

protected:
    ~CMessageFilter() = default;
};

// Called while the thread's queue is empty.
class CIdleHandler {
public:
    // Returns TRUE while it wants to be called again before the next message.
    virtual BOOL OnIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

class CMessageLoop {
public:
    // Each returns false when the filter or handler is null, already there
    // (for Add) or not there (for Remove).
    bool AddMessageFilter(CMessageFilter* filter);
    bool RemoveMessageFilter(CMessageFilter* filter);
    bool AddIdleHandler(CIdleHandler* handler);
    bool RemoveIdleHandler(CIdleHandler* handler);

    // Offers the message to the filters, the most recently added first; true
    // when one of them consumed it.
    bool PreTranslateMessage(MSG* msg);
    // Calls every idle handler; true while at least one wants more idle time.
    bool OnIdle();

    // Pumps the thread's messages until WM_QUIT and returns its exit code, or
    // -1 when GetMessageW fails. Filters see each message first; idle handlers
    // run whenever the queue has been emptied by a message that is not a
    // mouse-move or a timer tick.
    int Run();

private:
    // Handlers may add or remove handlers while being called, so the calls
    // work on a copy of the list.
    std::vector<CMessageFilter*> m_filters;
    std::vector<CIdleHandler*> m_idleHandlers;
};

// Holds the module's instance handle and one registered message loop per
// thread. Threads may register and look up concurrently.
class CAppModule {
public:
    // Remembers the instance handle used for resources; true on success.
    bool Init(HINSTANCE instance);
    // Forgets every registered loop.
    void Term();
    HINSTANCE GetResourceInstance() const { return m_hInstance; }

    // Registers loop for the calling thread; false when it already has one.
    bool AddMessageLoop(CMessageLoop* loop);
    // Unregisters the calling thread's loop; false when it had none.
    bool RemoveMessageLoop();
    // The loop registered for the thread (the calling one by default), or null.
    CMessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId()) const;

private:
    HINSTANCE m_hInstance = nullptr;
    mutable std::mutex m_lock;
    std::map<DWORD, CMessageLoop*> m_loops;
};

// A message loop registered for the calling thread for as long as it lives.
class CScopedMessageLoop {
public:
    explicit CScopedMessageLoop(CAppModule& module) : m_module(module), m_registered(module.AddMessageLoop(&m_loop)) {}
    ~CScopedMessageLoop() {
        if (m_registered) m_module.RemoveMessageLoop();
    }
    CScopedMessageLoop(const CScopedMessageLoop&) = delete;
    CScopedMessageLoop& operator=(const CScopedMessageLoop&) = delete;

    CMessageLoop& Loop() { return m_loop; }

private:
    CAppModule& m_module;
    CMessageLoop m_loop;
    bool m_registered;
};
