#include "tools/simulator/LineDelivery.h"

#include <algorithm>

namespace vorsilan::sim {

std::vector<std::size_t> PieceSizes(std::size_t total, std::size_t pieces) {
    const std::size_t count = std::min(total, std::max<std::size_t>(pieces, 1));
    std::vector<std::size_t> sizes;
    sizes.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        sizes.push_back(total / count + (i < total % count ? 1 : 0));
    }
    return sizes;
}

} // namespace vorsilan::sim
