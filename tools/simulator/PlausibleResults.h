#pragma once
// Results such as a working analyser produces: analysis numbers counting up, values in a
// plausible range for each kind (serum 3.30..6.10 mmol, whole blood 3.30..5.50, urine
// 0.1..2.8), kinds taken in turn from a list.

#include "tools/simulator/ResultRecord.h"

#include <cstdint>
#include <random>
#include <vector>

namespace vorsilan::sim {

class PlausibleResults {
public:
    // `kinds` empty: serum, blood and urine in turn.
    PlausibleResults(std::uint32_t seed, std::uint16_t firstNumber,
                     std::vector<SampleKind> kinds = {});

    struct Result {
        std::uint16_t number;
        unsigned value; // in the kind's unit
        SampleKind kind;
    };
    Result Next();
    ResultRecord NextRecord();

    // A value in the plausible range of `kind`.
    unsigned ValueFor(SampleKind kind);

    std::mt19937& Random() { return random_; }

private:
    std::mt19937 random_;
    std::uint16_t number_;
    std::vector<SampleKind> kinds_;
    std::size_t nextKind_ = 0;
};

} // namespace vorsilan::sim
