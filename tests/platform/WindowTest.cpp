#include "comm/platform/Messaging.h"

#include "tests/platform/TestWindow.h"

#include <gtest/gtest.h>

#include <future>
#include <string>

namespace apd::platform {
namespace {

LResult AnswerSeven(WindowHandle, std::uint32_t, WParam, LParam) {
    return 7;
}

// Class names are process-wide: each run of a test registers names of its own.
std::string FreshClassName(const std::string& stem) {
    static int runs = 0;
    return stem + "." + std::to_string(++runs);
}

TEST(WindowClass, RegistersEachNameOnceAndRefusesUnusableClasses) {
    const std::string name = FreshClassName("test.classes");
    const std::string unusable = FreshClassName("test.unusable");
    EXPECT_FALSE(IsWindowClassRegistered(name));
    EXPECT_EQ(CreateHiddenWindow(name), 0u);
    EXPECT_TRUE(RegisterWindowClass(name, AnswerSeven, 0));
    EXPECT_TRUE(IsWindowClassRegistered(name));
    EXPECT_FALSE(RegisterWindowClass(name, DefaultWindowProc, 0));
    EXPECT_FALSE(RegisterWindowClass(unusable, nullptr, 0));
    EXPECT_FALSE(RegisterWindowClass(unusable, AnswerSeven, -1));
    EXPECT_FALSE(IsWindowClassRegistered(unusable));

    // The first registration stays in force.
    const WindowHandle window = CreateHiddenWindow(name);
    EXPECT_EQ(SendWindowMessage(window, 1, 0, 0), 7);
    EXPECT_TRUE(DestroyHiddenWindow(window));
}

TEST(Window, ExtraBytesStartZeroAndAreReachableOnlyInsideTheirSize) {
    const std::string name = FreshClassName("test.extra");
    ASSERT_TRUE(RegisterWindowClass(name, DefaultWindowProc, 2 * sizeof(std::intptr_t)));
    const WindowHandle window = CreateHiddenWindow(name);
    constexpr int second = sizeof(std::intptr_t);
    EXPECT_EQ(GetWindowExtra(window, 0), 0);
    EXPECT_EQ(GetWindowExtra(window, second), 0);
    EXPECT_TRUE(SetWindowExtra(window, 0, -12345));
    EXPECT_TRUE(SetWindowExtra(window, second, 0x7FEDCBA9));
    EXPECT_EQ(GetWindowExtra(window, 0), -12345);
    EXPECT_EQ(GetWindowExtra(window, second), 0x7FEDCBA9);

    // Unaligned offsets are fine as long as the value lies inside.
    EXPECT_TRUE(SetWindowExtra(window, 1, 99));
    EXPECT_EQ(GetWindowExtra(window, 1), 99);
    EXPECT_FALSE(SetWindowExtra(window, second + 1, 1)); // would run past the end
    EXPECT_FALSE(SetWindowExtra(window, -1, 1));
    EXPECT_EQ(GetWindowExtra(window, second + 1), 0);

    EXPECT_TRUE(DestroyHiddenWindow(window));
    EXPECT_FALSE(SetWindowExtra(window, 0, 1));
    EXPECT_EQ(GetWindowExtra(window, 0), 0);
}

TEST(Window, BelongsToItsThreadAndItsHandleIsNeverReused) {
    const std::string name = FreshClassName("test.owned");
    ASSERT_TRUE(RegisterWindowClass(name, AnswerSeven, 0));
    const WindowHandle first = CreateHiddenWindow(name);
    EXPECT_TRUE(IsWindow(first));
    EXPECT_EQ(WindowThread(first), CurrentThreadId());
    EXPECT_TRUE(DestroyHiddenWindow(first));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(DestroyHiddenWindow(first));
    EXPECT_EQ(WindowThread(first), 0u);

    const WindowHandle second = CreateHiddenWindow(name);
    EXPECT_GT(second, first);

    // Another thread can neither destroy the window nor run its procedure.
    auto other = std::async(std::launch::async, [second] {
        EXPECT_NE(CurrentThreadId(), WindowThread(second));
        EXPECT_EQ(DispatchWindowMessage(Message{second, 1, 0, 0}), 0);
        return DestroyHiddenWindow(second);
    });
    EXPECT_FALSE(other.get());
    EXPECT_TRUE(IsWindow(second));
    EXPECT_EQ(DispatchWindowMessage(Message{second, 1, 0, 0}), 7);
    EXPECT_TRUE(DestroyHiddenWindow(second));
}

} // namespace
} // namespace apd::platform
