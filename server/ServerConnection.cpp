// One connection of the server, from its first request to its close: one
// state, and after each step NextStep decides the next.
#include "server/GenericServer.h"

#include <string>

#include "server/GenericServerParts.h"
#include "server/MissBreakdown.h"

namespace {

uint32_t PeerAddressOf(SOCKET socket) {
    sockaddr_in peer{};
    int length = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET) {
        return 0;
    }
    return ntohl(peer.sin_addr.s_addr);
}

}  // namespace

CGenericServer::Connection::Connection(CGenericServer& server, SOCKET socket, WSAEVENT event, Worker& worker)
    : m_server(server),
      m_socket(socket),
      m_nPeerAddress(PeerAddressOf(socket)),
      m_event(event),
      m_worker(worker),
      m_framer([&server](std::string_view text) { return server.IsRequestComplete(text); },
               [&server](std::string_view text) { return server.FrameBody(text); }) {}

void CGenericServer::Connection::Run() {
    Advance();
    while (m_state != ConnectionState::kClosed) {
        if (WaitForWork() == Wake::kEnd) return;
        Advance();
    }
}

// Waits for a network event, the worker's signal or the time the state
// allows. kEnd when the connection must close at once: the server stops, a
// wait fails, the peer reset, the connection must make room, or nothing
// happened for the whole idle time.
CGenericServer::Connection::Wake CGenericServer::Connection::WaitForWork() {
    const HANDLE events[3] = {m_server.m_hStopEvent.get(), m_event, m_worker.signal.get()};
    const DWORD waited = ::WSAWaitForMultipleEvents(3, events, FALSE, WaitBound(), FALSE);
    if (m_worker.closeRequested) return Wake::kEnd;
    if (waited == WSA_WAIT_TIMEOUT) {
        const bool timed = m_state == ConnectionState::kLingering || (m_bSocketFull && m_bPeerFinished);
        return timed ? Wake::kWork : Wake::kEnd;
    }
    if (waited == WSA_WAIT_EVENT_0 + 1) {
        WSANETWORKEVENTS network{};
        if (::WSAEnumNetworkEvents(m_socket, m_event, &network) != 0) return Wake::kEnd;
        NoteNetworkEvents(network);
        return m_bBroken ? Wake::kEnd : Wake::kWork;
    }
    return waited == WSA_WAIT_EVENT_0 + 2 ? Wake::kWork : Wake::kEnd;
}

DWORD CGenericServer::Connection::WaitBound() const {
    if (m_state == ConnectionState::kLingering) {
        const ULONGLONG now = ::GetTickCount64();
        return now >= m_nLingerEnd ? 0 : static_cast<DWORD>(m_nLingerEnd - now);
    }
    if (m_bSocketFull && m_bPeerFinished) return kPeerClosedPollMs;
    return m_server.m_nIdleTimeoutMs;
}

// A close with an error is a reset: nothing sent from now on can arrive, so
// the connection ends at once, whatever its reply still had to send.
void CGenericServer::Connection::NoteNetworkEvents(const WSANETWORKEVENTS& network) {
    if (network.lNetworkEvents & FD_READ) m_bReadable = true;
    if (network.lNetworkEvents & FD_CLOSE) {
        if (network.iErrorCode[FD_CLOSE_BIT] != 0) {
            m_bBroken = true;
        } else {
            m_bPeerFinished = true;
            m_bReadable = true;  // what it sent before closing is read to the end
        }
    }
}

void CGenericServer::Connection::Advance() {
    for (;;) {
        const ConnectionStep step = NextStep(m_state, Step(), KeepsConnection());
        if (step.next != m_state) Enter(step.next);
        if (step.waits || m_state == ConnectionState::kClosed) return;
    }
}

ConnectionEvent CGenericServer::Connection::Step() {
    switch (m_state) {
        case ConnectionState::kReading: return ReadRequest();
        case ConnectionState::kSending: return SendReply();
        case ConnectionState::kWaitingForSource: return ConnectionEvent::kSourceMore;
        case ConnectionState::kLingering: return Linger();
        case ConnectionState::kClosed: break;
    }
    return ConnectionEvent::kBroken;
}

void CGenericServer::Connection::Enter(ConnectionState next) {
    if (next == ConnectionState::kLingering) {
        ::shutdown(m_socket, SD_SEND);
        m_nLingerEnd = ::GetTickCount64() + kLingerMs;
    }
    if (next == ConnectionState::kClosed || next == ConnectionState::kLingering) m_reply.reset();
    m_state = next;
}

// Answers what has arrived and reads on while there is room: reading stops
// while the framer holds its bound of pending bytes, and goes on once the
// pending requests are answered.
ConnectionEvent CGenericServer::Connection::ReadRequest() {
    std::string request;
    for (;;) {
        switch (m_framer.TakeRequest(&request)) {
            case CRequestFramer::Next::kRequest:
                return BeginReply(request) ? ConnectionEvent::kReplyBegun : ConnectionEvent::kNoReply;
            case CRequestFramer::Next::kOverlong: return ConnectionEvent::kNoReply;
            case CRequestFramer::Next::kNeedMore: break;
        }
        if (m_bReadEnded) return ConnectionEvent::kPeerFinished;
        if (!m_bReadable || !m_framer.WantsMoreBytes()) return ConnectionEvent::kNothingYet;
        if (!ReadOnce()) return m_bBroken ? ConnectionEvent::kBroken : ConnectionEvent::kNothingYet;
    }
}

bool CGenericServer::Connection::BeginReply(const std::string& request) {
    m_worker.handling = true;
    m_reply = m_server.HandleRequest(request, &m_nKeepAlive, m_nPeerAddress);
    if (!m_reply) {
        m_worker.handling = false;
        return false;
    }
    m_reply->WakeWith(m_worker.signal.get());
    m_nSent = 0;
    return true;
}

// Sends what the source has, as long as the socket takes it; reads what the
// peer sends meanwhile (its next requests) while the framer has room.
ConnectionEvent CGenericServer::Connection::SendReply() {
    if (m_bReadable && m_framer.WantsMoreBytes() && !ReadOnce() && m_bBroken) return ConnectionEvent::kBroken;
    m_bSocketFull = false;
    for (;;) {
        SendSpans spans;
        switch (m_reply->Peek(m_nSent, kMaxSendPiece, &spans)) {
            case CReplySource::Next::kBytes: break;
            case CReplySource::Next::kDry: return ConnectionEvent::kSourceDry;
            case CReplySource::Next::kEnd: return EndReply(ConnectionEvent::kReplySent);
            case CReplySource::Next::kFailed: return EndReply(ConnectionEvent::kReplyCut);
        }
        WSABUF buffers[2];
        for (int i = 0; i < spans.count; ++i) {
            buffers[i] = {spans.spans[i].length, const_cast<char*>(spans.spans[i].data)};
        }
        DWORD sent = 0;
        if (::WSASend(m_socket, buffers, static_cast<DWORD>(spans.count), &sent, 0, nullptr, nullptr) != 0) {
            if (::WSAGetLastError() != WSAEWOULDBLOCK) return ConnectionEvent::kBroken;
            m_bSocketFull = true;
            return ConnectionEvent::kSocketFull;
        }
        m_nSent += sent;
    }
}

ConnectionEvent CGenericServer::Connection::EndReply(ConnectionEvent how) {
    m_reply.reset();
    m_worker.handling = false;
    if (how == ConnectionEvent::kReplySent) {
        m_worker.lastCompletedTick = ::GetTickCount();
        m_server.OnSent(static_cast<int32_t>(m_nSent));
    }
    return how;
}

// The server closes the connection: no more is sent, and what the peer still
// sends (the rest of a body, say) is read and dropped until it closes, for
// at most kLingerMs. Closing with bytes unread would reset the connection,
// and a reset can throw away a reply the peer has not read yet. However fast
// the peer sends, the time and the stop event are looked at after every read.
ConnectionEvent CGenericServer::Connection::Linger() {
    char scratch[kReceivePiece];
    for (;;) {
        if (::GetTickCount64() >= m_nLingerEnd ||
            ::WaitForSingleObject(m_server.m_hStopEvent.get(), 0) == WAIT_OBJECT_0) {
            return ConnectionEvent::kLingerOver;
        }
        WSABUF buffer{sizeof scratch, scratch};
        DWORD received = 0;
        DWORD flags = 0;
        if (::WSARecv(m_socket, &buffer, 1, &received, &flags, nullptr, nullptr) != 0) {
            return ::WSAGetLastError() == WSAEWOULDBLOCK ? ConnectionEvent::kNothingYet : ConnectionEvent::kLingerOver;
        }
        if (received == 0) return ConnectionEvent::kLingerOver;
    }
}

// A read that fails otherwise than for want of bytes is a broken connection.
bool CGenericServer::Connection::ReadOnce() {
    char piece[kReceivePiece];
    WSABUF buffer{sizeof piece, piece};
    DWORD received = 0;
    DWORD flags = 0;
    if (::WSARecv(m_socket, &buffer, 1, &received, &flags, nullptr, nullptr) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) m_bBroken = true;
        m_bReadable = false;
        return false;
    }
    if (received == 0) {
        m_bReadEnded = true;
        m_bReadable = false;
        return true;
    }
    // A full piece may leave more behind; Winsock tells of the rest with
    // another FD_READ only after the next read.
    m_bReadable = received == sizeof piece;
    CMissBreakdown::NoteRequestBytes();
    m_framer.Receive(std::string_view(piece, received));
    return true;
}

bool CGenericServer::Connection::KeepsConnection() const {
    return m_nKeepAlive != 0 && !m_framer.ClosesAfterReply();
}
