#include "tools/simulator/ExchangeProtocol.h"

#include <gtest/gtest.h>

namespace vorsilan::sim {
namespace {

using Action = ExchangeProtocol::Action;

TEST(ExchangeProtocol, ReadCommandAsksForTheBlockEvenAfterRepeatedLeadBytes) {
    ExchangeProtocol protocol;
    EXPECT_EQ(protocol.Feed(0xAA), Action::None);
    EXPECT_EQ(protocol.Feed(0x00), Action::SendBlock);
    EXPECT_FALSE(protocol.Busy());
    EXPECT_EQ(protocol.StrayBytes(), 0u);

    EXPECT_EQ(protocol.Feed(0xAA), Action::None);
    EXPECT_EQ(protocol.Feed(0xAA), Action::None);
    EXPECT_EQ(protocol.Feed(0x00), Action::SendBlock);
    EXPECT_EQ(protocol.StrayBytes(), 1u);
}

TEST(ExchangeProtocol, WriteAnswersEveryBlockByteAndDeliversTheBlockAfterTheLast) {
    ExchangeProtocol protocol;
    EXPECT_EQ(protocol.Feed(0xAA), Action::None);
    EXPECT_EQ(protocol.Feed(0x01), Action::None);
    EXPECT_TRUE(protocol.InWrite());
    for (std::size_t i = 0; i < kSettingsBlockSize - 1; ++i) {
        // Block bytes equal to the command bytes are data here, not commands.
        const auto byte = static_cast<std::uint8_t>(i % 2 == 0 ? 0xAA : i);
        ASSERT_EQ(protocol.Feed(byte), Action::AnswerByte) << i;
    }
    EXPECT_EQ(protocol.Feed(0x7E), Action::AnswerAndCommit);
    EXPECT_FALSE(protocol.InWrite());
    EXPECT_EQ(protocol.Written()[0], 0xAA);
    EXPECT_EQ(protocol.Written()[1], 1);
    EXPECT_EQ(protocol.Written()[255], 0x7E);
    EXPECT_EQ(protocol.StrayBytes(), 0u);
    // The next command starts afresh.
    EXPECT_EQ(protocol.Feed(0xAA), Action::None);
    EXPECT_EQ(protocol.Feed(0x00), Action::SendBlock);
}

TEST(ExchangeProtocol, StrayBytesAreCountedAndAnAbandonedWriteStartsOver) {
    ExchangeProtocol protocol;
    for (std::uint8_t b : {0x55, 0x00, 0x01}) {
        EXPECT_EQ(protocol.Feed(b), Action::None);
    }
    EXPECT_EQ(protocol.Feed(0xAA), Action::None);
    EXPECT_EQ(protocol.Feed(0x02), Action::None); // not a command: both bytes stray
    EXPECT_EQ(protocol.StrayBytes(), 5u);

    protocol.Feed(0xAA);
    protocol.Feed(0x01);
    protocol.Feed(0x10);
    EXPECT_EQ(protocol.WriteProgress(), 1u);
    EXPECT_TRUE(protocol.Abandon());
    EXPECT_FALSE(protocol.Busy());
    EXPECT_FALSE(protocol.Abandon());
    // A fresh write needs all 256 bytes again.
    protocol.Feed(0xAA);
    protocol.Feed(0x01);
    for (std::size_t i = 0; i < kSettingsBlockSize - 1; ++i) {
        ASSERT_EQ(protocol.Feed(0), Action::AnswerByte);
    }
    EXPECT_EQ(protocol.Feed(0), Action::AnswerAndCommit);
}

} // namespace
} // namespace vorsilan::sim
