#include "server/ConnectionState.h"

#include <gtest/gtest.h>

namespace {

using State = ConnectionState;
using Event = ConnectionEvent;

constexpr State kStates[] = {State::kReading, State::kSending, State::kWaitingForSource, State::kLingering,
                             State::kClosed};
constexpr Event kEvents[] = {Event::kNothingYet,  Event::kReplyBegun, Event::kNoReply,   Event::kPeerFinished,
                             Event::kSocketFull,  Event::kSourceDry,  Event::kSourceMore, Event::kReplySent,
                             Event::kReplyCut,    Event::kBroken,     Event::kLingerOver};

// A request's life: its reply begins, waits for the socket and for its
// source, and goes out; then the connection reads the next request, or
// lingers and closes.
TEST(ConnectionState, ARequestIsReadAnsweredAndTheConnectionKeptOrLingeredOn) {
    EXPECT_EQ(NextStep(State::kReading, Event::kNothingYet, true).next, State::kReading);
    EXPECT_TRUE(NextStep(State::kReading, Event::kNothingYet, true).waits);
    EXPECT_EQ(NextStep(State::kReading, Event::kReplyBegun, true).next, State::kSending);
    EXPECT_TRUE(NextStep(State::kSending, Event::kSocketFull, true).waits);
    EXPECT_EQ(NextStep(State::kSending, Event::kSourceDry, true).next, State::kWaitingForSource);
    EXPECT_EQ(NextStep(State::kWaitingForSource, Event::kSourceMore, true).next, State::kSending);
    EXPECT_FALSE(NextStep(State::kWaitingForSource, Event::kSourceMore, true).waits);
    EXPECT_EQ(NextStep(State::kSending, Event::kReplySent, true).next, State::kReading);
    EXPECT_EQ(NextStep(State::kSending, Event::kReplySent, false).next, State::kLingering);
    EXPECT_EQ(NextStep(State::kLingering, Event::kLingerOver, true).next, State::kClosed);
    EXPECT_EQ(NextStep(State::kReading, Event::kPeerFinished, true).next, State::kClosed);
}

// A cut reply never keeps its connection, a broken one closes from
// anywhere, a closed one stays closed, and nothing brings a lingering
// connection back to sending.
TEST(ConnectionState, CutBrokenAndClosedConnectionsNeverServeAgain) {
    EXPECT_EQ(NextStep(State::kSending, Event::kReplyCut, true).next, State::kLingering);
    EXPECT_EQ(NextStep(State::kWaitingForSource, Event::kReplyCut, true).next, State::kLingering);
    for (const State state : kStates) {
        EXPECT_EQ(NextStep(state, Event::kBroken, true).next, State::kClosed);
        for (const Event event : kEvents) {
            if (state == State::kClosed) {
                EXPECT_EQ(NextStep(state, event, true).next, State::kClosed);
            }
            if (state == State::kLingering) {
                const State next = NextStep(state, event, true).next;
                EXPECT_TRUE(next == State::kLingering || next == State::kClosed);
            }
        }
    }
    // An event that cannot come in a state ends the connection rather than
    // leave it waiting for ever.
    EXPECT_EQ(NextStep(State::kReading, Event::kSocketFull, true).next, State::kClosed);
}

}  // namespace
