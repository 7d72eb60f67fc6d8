#pragma once
// The analyser's side of the settings exchanges, as a state machine fed with the bytes the
// PC sends:
//   read:  PC sends 0xAA 0x00; the analyser answers one byte, then the 256 block bytes;
//   write: PC sends 0xAA 0x01, then the 256 block bytes one at a time, waiting after each
//          for the analyser's one-byte answer; the analyser keeps the new block.
// Bytes outside a command are counted and otherwise ignored. A write that stops before
// its 256th byte (Abandon, when the PC falls silent) leaves the kept block unchanged.

#include "tools/simulator/SettingsBlock.h"

#include <cstddef>
#include <cstdint>

namespace vorsilan::sim {

inline constexpr std::uint8_t kCommandLead = 0xAA;
inline constexpr std::uint8_t kReadCommand = 0x00;
inline constexpr std::uint8_t kWriteCommand = 0x01;

class ExchangeProtocol {
public:
    enum class Action {
        None,            // nothing to send
        SendBlock,       // a read command is complete: answer byte, then the block
        AnswerByte,      // a block byte of a write has come: one answer byte
        AnswerAndCommit, // the last block byte has come: answer, and keep the new block
    };

    Action Feed(std::uint8_t byte);

    // True between a write command and its 256th byte.
    bool InWrite() const { return state_ == State::Writing; }
    // True while the machine holds part of a command or of a write.
    bool Busy() const { return state_ != State::Idle; }
    // Drops a command or write in progress; returns true when a write was dropped.
    bool Abandon();

    // The block a completed write delivered (valid after AnswerAndCommit).
    const SettingsBlock& Written() const { return incoming_; }
    std::size_t WriteProgress() const { return received_; }
    // Bytes that were not part of any command.
    std::size_t StrayBytes() const { return stray_; }

private:
    enum class State { Idle, Lead, Writing };
    State state_ = State::Idle;
    SettingsBlock incoming_{};
    std::size_t received_ = 0;
    std::size_t stray_ = 0;
};

} // namespace vorsilan::sim
