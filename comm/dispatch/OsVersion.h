#pragma once
// The operating system's name and version for the dispatch log header:
// "<system name> <major>.<minor> <extra text>", e.g. "Linux 6.1 #1 SMP Debian 6.1.90-1".

#include <string>

namespace apd {

std::string OsVersionText();

} // namespace apd
