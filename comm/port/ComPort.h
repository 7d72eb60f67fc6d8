#pragma once
// TApdComPort: the port component a program places on its windows. Everything it offers is
// TApdCustomComPort's (CustomComPort.h).

#include "comm/port/CustomComPort.h"

namespace apd {

class TApdComPort : public TApdCustomComPort {
public:
    using TApdCustomComPort::TApdCustomComPort;
};

} // namespace apd
