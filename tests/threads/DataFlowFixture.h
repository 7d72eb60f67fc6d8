#pragma once
// The fixture of the data-flow tests: a dispatcher on the analyser's line, published as
// COM8, with the test at its far end.

#include <gtest/gtest.h>

#include "tests/support/farend/FarEnd.h"
#include "tests/threads/ThreadTestSupport.h"

namespace apd::test {

// The record header the analyser starts each record with.
inline const std::string Header("\xAA\x55", 2);

class DataFlow : public ::testing::Test {
protected:
    void Open(std::uint32_t outSize = 4096) {
        ASSERT_EQ(d.OpenAnalyserLine(line.Name(), outSize), ecOK);
    }
    FarEnd line{8};
    TestDispatcher d;
};

} // namespace apd::test
