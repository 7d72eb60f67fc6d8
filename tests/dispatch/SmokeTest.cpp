#include <gtest/gtest.h>

#include "tests/support/memory_device/MemoryDispatcher.h"

TEST(Smoke, Opens) {
    apd::testing::TMemoryDispatcher d;
    EXPECT_EQ(d.OpenDefault(), 0);
}
