#include "tools/simulator/ExchangeProtocol.h"

namespace vorsilan::sim {

ExchangeProtocol::Action ExchangeProtocol::Feed(std::uint8_t byte) {
    switch (state_) {
    case State::Idle:
        if (byte == kCommandLead) {
            state_ = State::Lead;
        } else {
            ++stray_;
        }
        return Action::None;
    case State::Lead:
        if (byte == kReadCommand) {
            state_ = State::Idle;
            return Action::SendBlock;
        }
        if (byte == kWriteCommand) {
            state_ = State::Writing;
            received_ = 0;
            return Action::None;
        }
        // The lead byte seen before was stray; this one may start a command itself.
        ++stray_;
        if (byte != kCommandLead) {
            ++stray_;
            state_ = State::Idle;
        }
        return Action::None;
    case State::Writing:
        incoming_[received_++] = byte;
        if (received_ == kSettingsBlockSize) {
            state_ = State::Idle;
            received_ = 0;
            return Action::AnswerAndCommit;
        }
        return Action::AnswerByte;
    }
    return Action::None;
}

bool ExchangeProtocol::Abandon() {
    const bool wasWriting = state_ == State::Writing;
    state_ = State::Idle;
    received_ = 0;
    return wasWriting;
}

} // namespace vorsilan::sim
