// DcbFields to the real DCB's bit-fields and back.

#include "comm/device/DcbAccess_win.h"

#include <gtest/gtest.h>

#include <cstring>

namespace apd {
namespace {

// The DCB's flag bit-fields share the 32-bit word after BaudRate.
std::uint32_t FlagWordOf(const DCB& dcb) {
    std::uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const char*>(&dcb.BaudRate) + sizeof dcb.BaudRate,
                sizeof word);
    return word;
}

TEST(DcbAccess, EachFlagReachesItsBitFieldAndComesBack) {
    for (std::uint32_t bit = 1; bit <= DcbAbortOnError; bit <<= 1) {
        DcbFields fields;
        fields.Flags = bit;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        CopyToDcb(fields, dcb);
        EXPECT_EQ(FlagWordOf(dcb), bit) << std::hex << bit;
        EXPECT_EQ(FieldsOf(dcb).Flags, bit) << std::hex << bit;
    }
}

TEST(DcbAccess, ValuesAndCharactersComeBackAndTheLengthStays) {
    DcbFields fields;
    fields.BaudRate = 115200;
    fields.Flags = DcbBinary | DcbRtsControlMask | DcbDtrControlMask;
    fields.XonLim = 100;
    fields.XoffLim = 200;
    fields.ByteSize = 7;
    fields.Parity = 3;
    fields.StopBits = 2;
    fields.XonChar = 0xF1; // above 0x7F: the DCB keeps them in plain char
    fields.XoffChar = 0xF3;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.EvtChar = 'x';
    CopyToDcb(fields, dcb);
    EXPECT_EQ(dcb.DCBlength, sizeof dcb);
    EXPECT_EQ(dcb.EvtChar, 'x');
    EXPECT_EQ(FieldsOf(dcb), fields);
}

} // namespace
} // namespace apd
