#pragma once
// A pseudo-terminal pair for the simulator: the master is the analyser's end of the line,
// the slave (/dev/pts/N) is the workstation's serial port. Both ends are put into raw
// mode. The pair keeps a descriptor of the slave open, never read, so that the line (and
// the bytes queued for the PC) survive the workstation closing and reopening its port.

#include "comm/device/UniqueFd.h"

#include <string>

namespace vorsilan::sim {

class PseudoTerminal {
public:
    PseudoTerminal(); // throws std::system_error
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The non-blocking master descriptor; -1 once closed.
    int Master() const { return master_.Get(); }
    const std::string& SlavePath() const { return slavePath_; }
    // Bytes sent from the master that the slave's reader has not taken yet; 0 once closed.
    int Unread() const;

    // Closes both ends: whoever has the slave open sees a hang-up, and the slave's node
    // disappears.
    void Close();

private:
    apd::UniqueFd master_;
    apd::UniqueFd keeper_;
    std::string slavePath_;
};

} // namespace vorsilan::sim
