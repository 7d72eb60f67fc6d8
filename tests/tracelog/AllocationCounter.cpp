// Replaces the global operator new and delete in a file of its own, so that the compiler
// never sees a replaced delete inlined next to a library's allocation.

#include "tests/tracelog/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> counting{false};
std::atomic<int> allocations{0};
} // namespace

namespace apd::testing {

void StartCountingAllocations() {
    allocations = 0;
    counting = true;
}

int StopCountingAllocations() {
    counting = false;
    return allocations;
}

} // namespace apd::testing

void* operator new(std::size_t size) {
    if (counting) {
        ++allocations;
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
