#include "net/FetchSession.h"

#include <memory>
#include <mutex>

#include "net/AgentText.h"
#include "net/Download.h"

DWORD SystemConnectionState() {
    DWORD flags = 0;
    // The result is not consulted: the flags alone say offline.
    ::InternetGetConnectedState(&flags, 0);
    return flags;
}

ConnectionStateReader ReadAtMostEvery(DWORD maxAgeMs, ConnectionStateReader reader,
                                      std::function<ULONGLONG()> ticks) {
    struct Reading {
        std::mutex lock;  // held while the reader is asked: one asks, the others wait for its answer
        bool read = false;
        ULONGLONG readAt = 0;
        DWORD flags = 0;
    };
    auto last = std::make_shared<Reading>();
    return [=] {
        const std::lock_guard<std::mutex> guard(last->lock);
        const ULONGLONG now = ticks();
        if (!last->read || now - last->readAt >= maxAgeMs) {
            last->flags = reader();
            last->readAt = now;
            last->read = true;
        }
        return last->flags;
    };
}

DWORD AccessTypeFor(DWORD connectionFlags) {
    return (connectionFlags & INTERNET_CONNECTION_PROXY) ? INTERNET_OPEN_TYPE_PRECONFIG
                                                         : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
}

CFetchSession::CFetchSession(DWORD maxConnectionsPerServer, ConnectionStateReader readState, uint32_t idleLimitMs)
    : m_nMaxConnectionsPerServer(maxConnectionsPerServer),
      m_nIdleLimitMs(idleLimitMs),
      m_readState(readState ? std::move(readState) : ReadAtMostEvery(kStateMaxAgeMs, SystemConnectionState)) {}

int CFetchSession::Fetch(const char* url, CFetchReceiver& receiver, int* httpStatus) {
    const std::shared_ptr<CFetchRun> run = Begin(url, receiver);
    run->Continue();
    if (httpStatus) *httpStatus = run->HttpStatus();
    return run->Result();
}

std::shared_ptr<CFetchRun> CFetchSession::Begin(const char* url, CFetchReceiver& receiver, uint32_t firstReadUpTo) {
    // The run goes before the handle it holds.
    struct Held {
        Held(CFetchReceiver& receiver, uint32_t idleLimitMs) : run(receiver, idleLimitMs) {}
        std::shared_ptr<Handle> handle;
        CFetchRun run;
    };
    const auto held = std::make_shared<Held>(receiver, m_nIdleLimitMs);
    std::shared_ptr<CFetchRun> run(held, &held->run);
    const DWORD flags = m_readState();
    if (!(flags & INTERNET_CONNECTION_OFFLINE)) held->handle = HandleFor(flags);
    if (!held->handle) {
        run->End(kFetchOffline);
        return run;
    }
    run->Begin(held->handle->internet.get(), url, held->handle->hadReply, firstReadUpTo);
    if (run->HttpStatus() != 0) held->handle->hadReply = true;
    return run;
}

int CFetchSession::Fetch(const char* url, COutBuf* sink, int* httpStatus) {
    CBufferReceiver receiver(sink);
    return Fetch(url, receiver, httpStatus);
}

std::shared_ptr<CFetchSession::Handle> CFetchSession::HandleFor(DWORD connectionFlags) {
    CCriticalSectionLock lock(m_csHandle);
    if (m_handle && m_nOpenedFlags == connectionFlags) return m_handle;
    m_handle.reset();
    const std::string agent = AgentText(::GetTickCount());
    CInternetHandle internet(::InternetOpenA(agent.c_str(), AccessTypeFor(connectionFlags), nullptr, nullptr, 0));
    if (!internet) return nullptr;
    // Windows' WinINet otherwise holds a session to a few connections per
    // host and queues the rest of the misses behind them.
    if (m_nMaxConnectionsPerServer > 0) {
        for (const DWORD option : {INTERNET_OPTION_MAX_CONNS_PER_SERVER, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER}) {
            DWORD value = m_nMaxConnectionsPerServer;
            ::InternetSetOptionA(internet.get(), option, &value, sizeof value);
        }
    }
    m_handle = std::make_shared<Handle>(std::move(internet));
    m_nOpenedFlags = connectionFlags;
    return m_handle;
}
