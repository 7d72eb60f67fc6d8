#include "tools/simulator/SettingsBlock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace vorsilan::sim {
namespace {

void Put24(SettingsBlock& block, std::size_t offset, std::uint32_t value) {
    block[offset] = static_cast<std::uint8_t>(value & 0xFF);
    block[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    block[offset + 2] = static_cast<std::uint8_t>((value >> 16) & 0xFF);
}

void PutTime(SettingsBlock& block, std::size_t offset, unsigned seconds) {
    block[offset] = static_cast<std::uint8_t>(seconds % 60);
    block[offset + 1] = static_cast<std::uint8_t>(seconds / 60 % 256);
}

std::runtime_error FileError(const std::string& what, const std::string& path) {
    return std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

} // namespace

SettingsBlock DefaultSettingsBlock() {
    SettingsBlock block{};
    block[0] = 0x01;
    block[1] = 0x00;
    block[2] = 0; // mode RBC
    block[3] = 1; // current 400
    block[4] = 1; // divider 10
    block[5] = 40;
    block[6] = 23;
    block[7] = 14;
    block[8] = 30;
    Put24(block, 9, 1523);  // power-on
    Put24(block, 12, 8214); // RBC
    Put24(block, 15, 3377); // WBC
    Put24(block, 18, 912);  // PBC
    Put24(block, 21, 45);   // EXT
    PutTime(block, 24, 32);
    PutTime(block, 26, 20);
    PutTime(block, 28, 32);
    PutTime(block, 30, 32);
    block[32] = 180;
    block[33] = 0;
    block[34] = 1;
    SetInformationText(block,
                       "Vorsilan KV-7 analyser simulator, service information line 01/01/01");
    return block;
}

void SetInformationText(SettingsBlock& block, std::string_view text) {
    const std::size_t length = std::min(text.size(), kInformationSize);
    std::fill(block.begin() + kInformationOffset, block.end(), std::uint8_t{0x20});
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length),
              block.begin() + kInformationOffset);
}

SettingsBlock LoadSettingsBlock(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw FileError("cannot open settings block file", path);
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw FileError("cannot read settings block file", path);
    }
    if (bytes.size() != kSettingsBlockSize) {
        throw std::runtime_error("settings block file " + path + " holds " +
                                 std::to_string(bytes.size()) + " bytes, not 256");
    }
    SettingsBlock block{};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

void SaveSettingsBlock(const std::string& path, const SettingsBlock& block) {
    const std::string staging = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(staging, std::ios::binary | std::ios::trunc);
        if (!out) {
            throw FileError("cannot create settings block file", staging);
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size()));
        out.flush();
        if (!out) {
            const auto error = FileError("cannot write settings block file", staging);
            std::remove(staging.c_str());
            throw error;
        }
    }
    if (std::rename(staging.c_str(), path.c_str()) != 0) {
        const auto error = FileError("cannot replace settings block file", path);
        std::remove(staging.c_str());
        throw error;
    }
}

} // namespace vorsilan::sim
