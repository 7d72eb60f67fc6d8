#include "tools/simulator/SettingsBlock.h"
#include "tests/support/files/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vorsilan::sim {
namespace {

using apd::testing::ScratchFolder;

TEST(SettingsBlock, DefaultHoldsPlausibleSettingsAndASpacePaddedText) {
    const SettingsBlock block = DefaultSettingsBlock();
    EXPECT_EQ(block[2], 0);
    EXPECT_EQ(block[3], 1);
    EXPECT_EQ(block[4], 1);
    EXPECT_EQ(block[5], 40);
    EXPECT_EQ(block[6], 23);
    EXPECT_EQ(block[7], 14);
    EXPECT_EQ(block[8], 30);
    for (std::size_t offset : {24u, 28u, 30u}) {
        EXPECT_EQ(block[offset], 32) << offset;
        EXPECT_EQ(block[offset + 1], 0) << offset;
    }
    EXPECT_EQ(block[26], 20);
    EXPECT_EQ(block[32], 180);
    EXPECT_EQ(block[33], 0);
    EXPECT_EQ(block[34], 1);
    EXPECT_EQ(block[35], 'V');
    EXPECT_EQ(block[255], 0x20);
    // No byte of the text is 0, and the seconds bytes are below 60, so the workstation
    // writes the block back unchanged.
    for (std::size_t i = kInformationOffset; i < kSettingsBlockSize; ++i) {
        ASSERT_NE(block[i], 0) << i;
    }
}

TEST(SettingsBlock, InformationTextIsCutToItsFieldAndPadded) {
    SettingsBlock block{};
    SetInformationText(block, std::string(300, 'x'));
    EXPECT_EQ(block[34], 0);
    EXPECT_EQ(block[35], 'x');
    EXPECT_EQ(block[255], 'x');
    SetInformationText(block, "ab");
    EXPECT_EQ(block[36], 'b');
    EXPECT_EQ(block[37], 0x20);
    EXPECT_EQ(block[255], 0x20);
}

TEST(SettingsBlockFile, SavedBlockLoadsBackAndBadFilesAreRefusedByName) {
    ScratchFolder dir;
    SettingsBlock block{};
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(255 - i);
    }
    SaveSettingsBlock(dir.File("block.bin"), block);
    EXPECT_EQ(std::filesystem::file_size(dir.File("block.bin")), 256u);
    EXPECT_EQ(LoadSettingsBlock(dir.File("block.bin")), block);
    // Saving again replaces the file whole.
    SaveSettingsBlock(dir.File("block.bin"), DefaultSettingsBlock());
    EXPECT_EQ(LoadSettingsBlock(dir.File("block.bin")), DefaultSettingsBlock());

    std::ofstream(dir.File("short.bin")) << "only a few bytes";
    try {
        LoadSettingsBlock(dir.File("short.bin"));
        FAIL() << "a short file was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("short.bin"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("not 256"), std::string::npos);
    }
    EXPECT_THROW(LoadSettingsBlock(dir.File("missing.bin")), std::runtime_error);
    EXPECT_THROW(SaveSettingsBlock(dir.File("no/such/dir/block.bin"), block), std::runtime_error);
}

} // namespace
} // namespace vorsilan::sim
