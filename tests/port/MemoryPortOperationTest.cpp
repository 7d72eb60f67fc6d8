// The I/O operations on the in-memory device: auto-opening, reading, writing, triggers.

#include <gtest/gtest.h>

#include "comm/errors/ExceptionClasses.h"
#include "tests/port/MemoryPortFixture.h"

namespace apd::testing {
namespace {

using Operations = MemoryPort;

TEST_F(Operations, AddingADataTriggerOpensAClosedPort) {
    const std::uint16_t handle = port->AddDataTrigger("\xAA\x55", false);
    EXPECT_EQ(port->PortState(), psOpen);
    EXPECT_TRUE(port->Open());
    EXPECT_EQ(created, 1);
    EXPECT_NE(handle, 0);
    EXPECT_EQ(handle % 8, 0);
}

TEST_F(Operations, QueriesNeverOpenAClosedPort) {
    EXPECT_EQ(port->InBuffUsed(), 0);
    EXPECT_EQ(port->LineError(), 0);
    EXPECT_FALSE(port->LineBreak());
    port->RemoveAllTriggers();
    EXPECT_EQ(port->PortState(), psClosed);
    EXPECT_EQ(created, 0);
}

TEST_F(Operations, ReadsWhatArrivedAndRaisesOnAnEmptyBuffer) {
    EXPECT_FALSE(port->CharReady()); // opens
    EXPECT_THROW(port->GetChar(), EBufferIsEmpty);
    Receive("ab");
    EXPECT_TRUE(port->CharReady());
    EXPECT_EQ(port->InBuffUsed(), 2);
    EXPECT_EQ(port->GetChar(), 'a');
    EXPECT_EQ(port->GetChar(), 'b');
    EXPECT_THROW(port->GetChar(), EBufferIsEmpty);

    Receive("cde");
    port->FlushInBuffer();
    EXPECT_EQ(port->InBuffUsed(), 0);
}

TEST_F(Operations, WritesGoToTheDevice) {
    port->PutChar(0x55);
    port->PutChar(0x01);
    EXPECT_EQ(device->Written(), (std::vector<std::uint8_t>{0x55, 0x01}));
    port->YieldComm();
}

TEST_F(Operations, DataTriggersOfMoreThan21BytesAreRefused) {
    EXPECT_THROW(port->AddDataTrigger(std::string(22, 'x'), false), ETriggerTooLong);
    EXPECT_NE(port->AddDataTrigger(std::string(21, 'x'), false), 0);
    // A string is at most 255 bytes: anything beyond is not passed on.
    EXPECT_THROW(port->AddDataTrigger(std::string(300, 'y'), false), ETriggerTooLong);
    EXPECT_EQ(device->DataTriggerRecords().size(), 1u);
}

TEST_F(Operations, RemovingAllTriggersAlsoClearsTheAvailThreshold) {
    port->AddDataTrigger("\x0D", false);
    port->SetTriggerLength(4);
    port->RemoveAllTriggers();
    EXPECT_TRUE(device->DataTriggerRecords().empty());
    EXPECT_EQ(device->AvailTriggerLengthValue(), 0);
    EXPECT_EQ(port->TriggerLength(), 0);
}

} // namespace
} // namespace apd::testing
