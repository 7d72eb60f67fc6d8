// The I/O operations on the in-memory device: auto-opening, reading, writing, triggers.

#include <gtest/gtest.h>

#include <span>

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

// A block read of `length` bytes with "abcdef" waiting, from the application or from a data
// trigger's handler that has read 'a' with GetChar before.
struct BlockRead {
    const char* what;
    bool peek;
    bool inHandler;
    std::size_t length;
    const char* read; // the block afterwards; null: EGetBlockFail, the block untouched
    std::uint16_t left;
};

constexpr BlockRead BlockReads[] = {
    {"get", false, false, 4, "abcd", 2},
    {"peek", true, false, 4, "abcd", 6},
    {"get more than waits", false, false, 7, nullptr, 6},
    {"peek more than waits", true, false, 7, nullptr, 6},
    {"get nothing", false, false, 0, "", 6},
    {"get in a handler reads ahead", false, true, 2, "bc", 3},
    {"peek in a handler starts at the oldest byte", true, true, 2, "ab", 5},
    {"get in a handler past the end", false, true, 6, nullptr, 5},
};

TEST_F(Operations, BlockReadsTakeTheWholeBlockOrNothing) {
    port->SetTriggerLength(0);
    port->AddDataTrigger("d", false);
    for (const BlockRead& row : BlockReads) {
        SCOPED_TRACE(row.what);
        std::string block(row.length, '-');
        bool failed = false;
        const auto read = [&](TApdCustomComPort& cp) {
            const std::span bytes(reinterpret_cast<std::uint8_t*>(block.data()), block.size());
            try {
                EXPECT_EQ(row.peek ? cp.PeekBlock(bytes) : cp.GetBlock(bytes), row.length);
            } catch (const EGetBlockFail&) {
                failed = true;
            }
        };
        port->SetOnTriggerData([&](TApdCustomComPort& cp, std::uint16_t) {
            if (row.inHandler) {
                EXPECT_EQ(cp.GetChar(), 'a');
                read(cp);
            }
        });
        Receive("abcdef");
        if (!row.inHandler) {
            read(*port);
        }
        EXPECT_EQ(failed, row.read == nullptr);
        EXPECT_EQ(block, row.read ? row.read : std::string(row.length, '-'));
        EXPECT_EQ(port->InBuffUsed(), row.left);
        port->FlushInBuffer();
    }
}

TEST_F(Operations, WritesGoToTheDevice) {
    port->PutChar(0x55);
    port->PutChar(0x01);
    const std::uint8_t block[] = {0x02, 0x03, 0x04};
    port->PutBlock(block);
    const std::vector<std::uint8_t> written{0x55, 0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(device->Written(), written);
    // A block the output buffer has no room for is refused whole, not cut.
    const std::vector<std::uint8_t> tooLong(4096 - written.size() + 1, 0x05);
    EXPECT_THROW(port->PutBlock(tooLong), EOutputBufferTooSmall);
    EXPECT_EQ(device->Written(), written);
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
