#pragma once
// Sets a port's ForceApply for a scope and restores the previous value when it ends, also
// when an exception leaves it.

#include "comm/port/CustomComPort.h"

namespace apd {

class ForceApplyHold {
public:
    ForceApplyHold(TApdCustomComPort& port, bool on) : port_(port), previous_(port.ForceApply()) {
        port_.SetForceApply(on);
    }
    ~ForceApplyHold() { port_.SetForceApply(previous_); }
    ForceApplyHold(const ForceApplyHold&) = delete;
    ForceApplyHold& operator=(const ForceApplyHold&) = delete;

private:
    TApdCustomComPort& port_;
    bool previous_;
};

} // namespace apd
