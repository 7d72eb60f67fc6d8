#pragma once
// Option bits of the dispatcher's flow control operations. The hardware bits are those of
// the port component's THWFlowOptions set, the software bits its directions.

#include <cstdint>

namespace apd {

// SetHWFlowControl and GetFlowOptions (hardware).
inline constexpr std::uint32_t HwFlowUseDtr = 1;     // DTR drops when the input fills
inline constexpr std::uint32_t HwFlowUseRts = 2;     // RTS drops when the input fills
inline constexpr std::uint32_t HwFlowRequireDsr = 4; // output waits for DSR
inline constexpr std::uint32_t HwFlowRequireCts = 8; // output waits for CTS

// SetSWFlowControl and GetFlowOptions (software).
inline constexpr std::uint32_t SwFlowTransmit = 1; // honour XON/XOFF received
inline constexpr std::uint32_t SwFlowReceive = 2;  // send XOFF/XON as the input fills
inline constexpr std::uint32_t SwFlowBoth = SwFlowTransmit | SwFlowReceive;

// The flow characters that enabling software flow control puts in place.
inline constexpr std::uint8_t DefaultXonChar = 17;
inline constexpr std::uint8_t DefaultXoffChar = 19;

// The option bit the component's UseEventWord property sets and clears.
inline constexpr std::uint32_t OptionUseEventWord = 4;

} // namespace apd
