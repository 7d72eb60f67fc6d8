#pragma once
// The text of a dispatch log dump: five header lines, then one line per entry from the
// oldest to the newest: time, type and subtype names, the value in hexadecimal and the
// data part, continued on lines indented to the data column.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "comm/dispatch/DispatchLogRing.h"
#include "comm/dispatch/DumpText.h"

namespace apd {

// The label texts by id: ErrorMessageText in the system, a fake in tests.
using LogLabelLookup = std::function<std::string(std::int16_t id)>;

// Width of the entry prefix and the column after which data lines break.
inline constexpr unsigned LogPrefixWidth = 44;
inline constexpr unsigned LogLineLimit = 78;
// Longest operating system text in the header.
inline constexpr std::size_t LogOsTextLimit = 80;

// Milliseconds as seconds with three decimals and at least four digits before the point:
// 5 gives "0000.005", 12345678 gives "12345.678". Independent of the locale.
std::string LogTimeText(std::uint32_t ms);

// Takes every entry out of the log, oldest first, and writes the dump text. The log is
// empty afterwards.
void WriteLogText(DispatchLogRing& log, bool inHex, bool allHex, std::string_view osVersion,
                  const LogLabelLookup& labels, DumpLineWriter& out);

} // namespace apd
