#include "server/ConnectionState.h"

namespace {

constexpr ConnectionStep Go(ConnectionState next) { return {next, false}; }
constexpr ConnectionStep Wait(ConnectionState next) { return {next, true}; }

ConnectionStep AfterReply(bool keepsConnection) {
    return Go(keepsConnection ? ConnectionState::kReading : ConnectionState::kLingering);
}

}  // namespace

ConnectionStep NextStep(ConnectionState state, ConnectionEvent event, bool keepsConnection) {
    using State = ConnectionState;
    using Event = ConnectionEvent;
    if (event == Event::kBroken) return Go(State::kClosed);
    switch (state) {
        case State::kReading:
            switch (event) {
                case Event::kNothingYet: return Wait(State::kReading);
                case Event::kReplyBegun: return Go(State::kSending);
                case Event::kNoReply: return Go(State::kLingering);
                case Event::kPeerFinished: return Go(State::kClosed);
                default: break;
            }
            break;
        case State::kSending:
        case State::kWaitingForSource:
            switch (event) {
                case Event::kSocketFull: return Wait(State::kSending);
                case Event::kSourceDry: return Wait(State::kWaitingForSource);
                case Event::kSourceMore: return Go(State::kSending);
                case Event::kReplySent: return AfterReply(keepsConnection);
                case Event::kReplyCut: return Go(State::kLingering);
                default: break;
            }
            break;
        case State::kLingering:
            switch (event) {
                case Event::kNothingYet: return Wait(State::kLingering);
                case Event::kLingerOver: return Go(State::kClosed);
                default: break;
            }
            break;
        case State::kClosed:
            break;
    }
    return Go(State::kClosed);
}
