// The telephony dispatcher on the Windows serial API: what cannot be adopted as a serial
// device fails the open and stays with its owner.

#include <gtest/gtest.h>

#include <windows.h>

#include "comm/threads/Tapi32Dispatcher.h"
#include "tests/threads/ThreadTestSupport.h"

namespace apd::test {
namespace {

TEST(WinTelephonyHandover, AHandleThatCannotBeAdoptedFailsAndStaysWithItsOwner) {
    TApdTAPI32Dispatcher none(nullptr, 0);
    EXPECT_EQ(none.OpenDevicePort("ignored", 115200, ParityNone, 8, 1, 64, 64, 0), ecCommNotOpen);
    TApdTAPI32Dispatcher invalid(nullptr, reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(invalid.OpenDevicePort("ignored", 115200, ParityNone, 8, 1, 64, 64, 0), ecBadHandle);

    // An event is a handle, but not a serial device's.
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    TApdTAPI32Dispatcher notSerial(nullptr, reinterpret_cast<std::intptr_t>(event));
    EXPECT_LT(notSerial.OpenDevicePort("ignored", 115200, ParityNone, 8, 1, 64, 64, 0), 0);
    EXPECT_EQ(notSerial.LiveThreads(), 0);
    DWORD flags = 0;
    EXPECT_TRUE(::GetHandleInformation(event, &flags)) << "a handle not taken was closed";
    ::CloseHandle(event);
}

} // namespace
} // namespace apd::test
