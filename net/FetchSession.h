// The WinINet session of the asset server's fetches from the CDN: one
// internet handle shared by every connection thread, so that connections to
// the CDN are kept alive and reused instead of opened for every miss.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <functional>
#include <memory>

#include "net/Download.h"
#include "net/InternetHandle.h"
#include "toolkit/CriticalSection.h"

class CFetchReceiver;
class COutBuf;

// The connection flags as InternetGetConnectedState reports them.
using ConnectionStateReader = std::function<DWORD()>;
DWORD SystemConnectionState();

// A reader that asks reader again only once its last answer is maxAgeMs old
// (by ticks) and gives that answer in between, from any thread. Under Wine
// each InternetGetConnectedState takes about 6 ms, more when several threads
// ask at once: longer than a fetch of a small asset on a kept connection.
ConnectionStateReader ReadAtMostEvery(DWORD maxAgeMs, ConnectionStateReader reader,
                                      std::function<ULONGLONG()> ticks = ::GetTickCount64);

// The access type of an internet handle for those flags: the pre-configured
// settings, with auto-proxy only when a proxy is in use.
DWORD AccessTypeFor(DWORD connectionFlags);

class CFetchSession {
public:
    // maxConnectionsPerServer: how many connections WinINet may hold open to
    // one host for this session (0 leaves its default); the asset server
    // gives at least its own connection bound, so that no miss queues behind
    // others. readState: where the connection flags come from (tests inject
    // theirs); when empty, the system's, read again at most once every
    // kStateMaxAgeMs. idleLimitMs: how long a fetch may go without a byte.
    static constexpr DWORD kStateMaxAgeMs = 1000;
    explicit CFetchSession(DWORD maxConnectionsPerServer = 0, ConnectionStateReader readState = {},
                           uint32_t idleLimitMs = kCdnFetchIdleLimitMs);
    CFetchSession(const CFetchSession&) = delete;
    CFetchSession& operator=(const CFetchSession&) = delete;

    // A fetch over the session into receiver, from any thread: 4 when the
    // connection state says offline or no internet handle can be opened;
    // otherwise the run's result (CFetchRun). Asks for the connection state
    // every time (the system's own is read again at most once every
    // kStateMaxAgeMs); the handle is opened on first use, with the agent text
    // of that moment, and opened anew whenever the state differs from the one
    // it was opened in. Once a reply came on a handle, its later requests may
    // go out on kept connections, and one the host dropped is retried.
    int Fetch(const char* url, CFetchReceiver& receiver, int* httpStatus = nullptr);
    // The same fetch begun here (CFetchRun::Begin, with firstReadUpTo) and
    // continued on any thread. The run holds the internet handle it began
    // on; one that could not begin is over already, with its result.
    std::shared_ptr<CFetchRun> Begin(const char* url, CFetchReceiver& receiver, uint32_t firstReadUpTo = 0);
    // The same into a buffer, as FetchUrl.
    int Fetch(const char* url, COutBuf* sink, int* httpStatus = nullptr);

private:
    // An internet handle, and whether a reply came on it yet.
    struct Handle {
        explicit Handle(CInternetHandle opened) : internet(std::move(opened)) {}
        CInternetHandle internet;
        std::atomic<bool> hadReply{false};
    };
    std::shared_ptr<Handle> HandleFor(DWORD connectionFlags);

    const DWORD m_nMaxConnectionsPerServer;
    const uint32_t m_nIdleLimitMs;
    const ConnectionStateReader m_readState;
    CCriticalSection m_csHandle;  // guards the two below
    // The handle is shared with the fetches running on it: one that began
    // before a reopen ends on the handle it began with, which closes after it.
    std::shared_ptr<Handle> m_handle;
    DWORD m_nOpenedFlags = 0;
};
