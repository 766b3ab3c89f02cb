// Where one connection of the server stands, and the one place that decides
// where it goes next. No Windows header.
#pragma once

enum class ConnectionState {
    kReading,           // waiting for, or reading, a whole request
    kSending,           // sending a reply from its source, as the socket takes it
    kWaitingForSource,  // the reply's next bytes are not there yet
    kLingering,         // sending is over; what the peer still sends is read and dropped for a while
    kClosed,
};

// What the connection's last step found.
enum class ConnectionEvent {
    kNothingYet,     // nothing more to do until the next network event
    kReplyBegun,     // a whole request was taken and its reply made
    kNoReply,        // a request that is answered by closing (refused, or past the bounds)
    kPeerFinished,   // the peer closed its side, and every request it sent was answered
    kSocketFull,     // the socket takes no more for now
    kSourceDry,      // the reply's next bytes are not there yet
    kSourceMore,     // the reply may have more now
    kReplySent,      // the whole reply went out
    kReplyCut,       // the rest of the reply will never come: the peer must see it end short
    kBroken,         // the peer reset or went, a call failed, the server stops, or the connection must go
    kLingerOver,     // the peer closed while lingering, or the time for it is up
};

struct ConnectionStep {
    ConnectionState next = ConnectionState::kClosed;
    bool waits = false;  // wait for the next network event or wake-up before the next step
};

// The next state after event in state. keepsConnection: whether a connection
// whose reply went out whole serves another request. An event that cannot
// happen in a state closes the connection.
ConnectionStep NextStep(ConnectionState state, ConnectionEvent event, bool keepsConnection);
