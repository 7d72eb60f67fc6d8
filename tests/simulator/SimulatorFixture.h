#pragma once
// A simulator publishing its line in a port folder of the test's own.

#include "tests/support/files/ScratchFolder.h"
#include "tools/simulator/AnalyserSimulator.h"

#include <string>

namespace vorsilan::sim::test {

using apd::testing::ScratchFolder;

inline SimulatorOptions OptionsIn(const ScratchFolder& dir, unsigned comNumber = 7) {
    SimulatorOptions options;
    options.comNumber = comNumber;
    options.portDir = dir.Path();
    return options;
}

} // namespace vorsilan::sim::test
