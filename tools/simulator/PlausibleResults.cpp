#include "tools/simulator/PlausibleResults.h"

namespace vorsilan::sim {

PlausibleResults::PlausibleResults(std::uint32_t seed, std::uint16_t firstNumber,
                                   std::vector<SampleKind> kinds)
    : random_(seed), number_(firstNumber), kinds_(std::move(kinds)) {
    if (kinds_.empty()) {
        kinds_ = {SampleKind::Serum, SampleKind::WholeBlood, SampleKind::Urine};
    }
}

unsigned PlausibleResults::ValueFor(SampleKind kind) {
    unsigned low = 330;
    unsigned high = 610;
    if (kind == SampleKind::WholeBlood) {
        high = 550;
    } else if (kind == SampleKind::Urine) {
        low = 1;
        high = 28;
    }
    return std::uniform_int_distribution<unsigned>(low, high)(random_);
}

PlausibleResults::Result PlausibleResults::Next() {
    const SampleKind kind = kinds_[nextKind_];
    nextKind_ = (nextKind_ + 1) % kinds_.size();
    Result result{number_, ValueFor(kind), kind};
    ++number_; // wraps at 65535 as the analyser's 16-bit number does
    return result;
}

ResultRecord PlausibleResults::NextRecord() {
    const Result result = Next();
    return *EncodeResultRecord(result.number, result.value, result.kind);
}

} // namespace vorsilan::sim
