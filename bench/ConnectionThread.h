// A connection's thread in the bare responder: a Win32 thread, its handle
// closed at once, as the asset server's connection threads are; not a
// detached std::thread. Under Wine the responder, serving short-lived
// connections on such threads, was seen to start one at a heap address and
// fault.
#pragma once

#include <windows.h>

#include <process.h>

#include <functional>
#include <memory>
#include <new>

inline unsigned __stdcall RunConnectionThread(void* owned) {
    const std::unique_ptr<std::function<void()>> serve(static_cast<std::function<void()>*>(owned));
    (*serve)();
    return 0;
}

// Runs serve on a thread of its own; false when no thread could start.
inline bool StartConnectionThread(std::function<void()> serve) {
    std::unique_ptr<std::function<void()>> job(new (std::nothrow) std::function<void()>(std::move(serve)));
    if (!job) return false;
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, RunConnectionThread, job.get(), 0, nullptr);
    if (!thread) return false;
    job.release();  // the thread owns it now
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}
