// The telephony dispatcher on the Windows serial API: a COM port opened for overlapped I/O
// elsewhere and handed over as its HANDLE is adopted, carries bytes both ways through the
// dispatcher's threads, and is closed with the port.

#include <gtest/gtest.h>

#include <windows.h>

#include "comm/device/Tapi32Dispatcher.h"
#include "tests/device_threads/ThreadTestSupport.h"
#include "tests/support/wine/FarLine.h"

namespace apd::test {
namespace {

TEST(WinTelephonyHandover, TheHandedOverPortCarriesBytesBothWaysAndClosesWithThePort) {
    FarLine line(2);
    HANDLE h = ::CreateFileA(line.Name().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
    TApdTAPI32Dispatcher d(nullptr, reinterpret_cast<std::intptr_t>(h));
    ASSERT_EQ(d.OpenDevicePort("ignored", 115200, ParityNone, 8, 1, 4096, 4096, 0), ecOK);
    EXPECT_EQ(d.LiveThreads(), 3);
    LineState state;
    ASSERT_EQ(d.DeviceGetState(state), 0);
    EXPECT_EQ(state.BaudRate, 115200u);

    const std::string in = Pattern(1500);
    ASSERT_EQ(line.WriteFar(in), in.size());
    ASSERT_TRUE(PumpUntil([&] { return d.InBuffUsed() == in.size(); }))
        << "received " << d.InBuffUsed() << " of " << in.size();
    std::string got(in.size(), '\0');
    ASSERT_EQ(d.GetBlock(reinterpret_cast<std::uint8_t*>(got.data()),
                         static_cast<std::uint32_t>(got.size())),
              static_cast<std::int32_t>(in.size()));
    EXPECT_EQ(got, in);

    const std::string out = Pattern(2000, 9);
    ASSERT_EQ(d.PutBlock(reinterpret_cast<const std::uint8_t*>(out.data()),
                         static_cast<std::uint32_t>(out.size())),
              ecOK);
    const std::vector<std::uint8_t> arrived = line.ReadFar(out.size());
    EXPECT_EQ(std::string(arrived.begin(), arrived.end()), out);

    d.CloseDevicePort();
    EXPECT_EQ(d.LiveThreads(), 0);
    // Wine hands a freed handle number to the next handle made (the threads' events, the
    // far end's sockets), so the number may be valid again; a serial device it is not.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_FALSE(::GetCommState(h, &dcb)) << "the port's handle was left open";
    EXPECT_EQ(d.DeviceOpen("ignored", 64, 64), ecCommNotOpen);
}

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
