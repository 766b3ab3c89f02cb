// Move-only owners of Winsock resources: a socket, an event object, and one
// reference on the Winsock library itself.
#pragma once

#include <winsock2.h>

#include <utility>

#include "toolkit/ScopedResource.h"

// A socket; its failure value is INVALID_SOCKET (all bits set).
using CSocket = CScopedHandle<SOCKET, ::closesocket, static_cast<intptr_t>(INVALID_SOCKET)>;

// An event object; WSACreateEvent's failure value, WSA_INVALID_EVENT, is null.
using CWsaEvent = CScopedHandle<WSAEVENT, ::WSACloseEvent>;

// One WSAStartup for Winsock 2.2, matched by one WSACleanup when the owner
// lets go. Whoever uses sockets holds one for as long as they live.
class CWinsockReference {
public:
    CWinsockReference() = default;
    ~CWinsockReference() { Reset(); }
    CWinsockReference(const CWinsockReference&) = delete;
    CWinsockReference& operator=(const CWinsockReference&) = delete;
    CWinsockReference(CWinsockReference&& other) noexcept : m_bHeld(std::exchange(other.m_bHeld, false)) {}
    CWinsockReference& operator=(CWinsockReference&& other) noexcept {
        if (this != &other) {
            Reset();
            m_bHeld = std::exchange(other.m_bHeld, false);
        }
        return *this;
    }

    // True when Winsock 2.2 is ready; a version other than 2.2 is given back.
    bool Acquire() {
        Reset();
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
        m_bHeld = true;
        if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) Reset();
        return m_bHeld;
    }
    void Reset() {
        if (std::exchange(m_bHeld, false)) ::WSACleanup();
    }
    explicit operator bool() const { return m_bHeld; }

private:
    bool m_bHeld = false;
};
