#pragma once
// How the simulator's bytes reach the line. A real UART hands the PC one byte per
// character time; a USB adapter hands over what it has gathered in pieces, some
// milliseconds apart. The simulator does either, or puts each send on the line in one write.

#include <cstddef>
#include <vector>

namespace vorsilan::sim {

// The analyser's line: 115200 baud, 8N1 (about 87 us a byte, 2.26 ms a record).
inline constexpr unsigned kAnalyserBaud = 115200;
// The most pieces a send may be cut into (more than a record or a block has bytes).
inline constexpr std::size_t kMostPieces = 1000;

// The sizes of at most `pieces` pieces that make up `total` bytes, as even as possible, the
// longer ones first: 26 bytes in 3 pieces are 9, 9 and 8. No piece is empty, so a send
// shorter than `pieces` goes out a byte a piece; no bytes give no pieces.
std::vector<std::size_t> PieceSizes(std::size_t total, std::size_t pieces);

} // namespace vorsilan::sim
