#include "toolkit/MessageLoop.h"

#include <algorithm>

namespace {

template <typename T>
bool AddUnique(std::vector<T*>& list, T* item) {
    if (!item || std::find(list.begin(), list.end(), item) != list.end()) return false;
    list.push_back(item);
    return true;
}

template <typename T>
bool RemoveOne(std::vector<T*>& list, T* item) {
    const auto found = std::find(list.begin(), list.end(), item);
    if (found == list.end()) return false;
    list.erase(found);
    return true;
}

// Mouse moves and timer ticks arrive constantly and must not restart idle work.
bool RestartsIdleWork(const MSG& msg) {
    return msg.message != WM_MOUSEMOVE && msg.message != WM_NCMOUSEMOVE && msg.message != WM_TIMER &&
           msg.message != 0x0118;  // WM_SYSTIMER, the caret blink
}

}  // namespace

bool CMessageLoop::AddMessageFilter(CMessageFilter* filter) { return AddUnique(m_filters, filter); }
bool CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) { return RemoveOne(m_filters, filter); }
bool CMessageLoop::AddIdleHandler(CIdleHandler* handler) { return AddUnique(m_idleHandlers, handler); }
bool CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) { return RemoveOne(m_idleHandlers, handler); }

bool CMessageLoop::PreTranslateMessage(MSG* msg) {
    const std::vector<CMessageFilter*> filters = m_filters;
    for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
        if ((*it)->PreTranslateMessage(msg)) return true;
    }
    return false;
}

bool CMessageLoop::OnIdle() {
    const std::vector<CIdleHandler*> handlers = m_idleHandlers;
    bool wantsMore = false;
    for (CIdleHandler* handler : handlers) {
        if (handler->OnIdle()) wantsMore = true;
    }
    return wantsMore;
}

int CMessageLoop::Run() {
    bool idle = true;
    MSG msg{};
    for (;;) {
        while (idle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            idle = OnIdle();
        }
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) return -1;
        if (got == 0) return static_cast<int>(msg.wParam);
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (RestartsIdleWork(msg)) idle = true;
    }
}

bool CAppModule::Init(HINSTANCE instance) {
    m_hInstance = instance;
    return instance != nullptr;
}

void CAppModule::Term() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_loops.clear();
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
    if (!loop) return false;
    std::lock_guard<std::mutex> guard(m_lock);
    return m_loops.emplace(::GetCurrentThreadId(), loop).second;
}

bool CAppModule::RemoveMessageLoop() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_loops.erase(::GetCurrentThreadId()) == 1;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) const {
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_loops.find(threadId);
    return found == m_loops.end() ? nullptr : found->second;
}
