// The dispatcher registry: first free entry reused, trailing empty entries dropped.

#include <gtest/gtest.h>

#include <memory>

#include "comm/dispatch/DispatcherRegistry.h"
#include "tests/support/memory_device/MemoryDispatcher.h"

namespace apd::testing {
namespace {

TEST(DispatcherRegistry, ReusesTheFirstFreeEntryAndShrinksFromTheEnd) {
    const std::size_t base = [] {
        std::lock_guard hold(RegistryLock());
        return DispatcherRegistry().size();
    }();
    auto first = std::make_unique<TMemoryDispatcher>();
    auto second = std::make_unique<TMemoryDispatcher>();
    auto third = std::make_unique<TMemoryDispatcher>();
    const std::int32_t secondHandle = second->DispatcherHandle;
    EXPECT_EQ(first->DispatcherHandle + 1, secondHandle);
    EXPECT_EQ(RegisteredDispatcher(secondHandle), second.get());

    second.reset();
    EXPECT_EQ(RegisteredDispatcher(secondHandle), nullptr);
    auto fourth = std::make_unique<TMemoryDispatcher>();
    EXPECT_EQ(fourth->DispatcherHandle, secondHandle);

    const std::int32_t thirdHandle = third->DispatcherHandle;
    third.reset();
    fourth.reset();
    {
        std::lock_guard hold(RegistryLock());
        EXPECT_EQ(DispatcherRegistry().size(), base + 1); // only the first is left
    }
    EXPECT_EQ(RegisteredDispatcher(thirdHandle), nullptr);
    EXPECT_EQ(RegisteredDispatcher(-1), nullptr);
    first.reset();
    std::lock_guard hold(RegistryLock());
    EXPECT_EQ(DispatcherRegistry().size(), base);
}

} // namespace
} // namespace apd::testing
