#pragma once
// TAdStringResource, the reader of "STR0" string tables.
//
// Layout (integers little-endian, offsets from the start of the table):
//   0        4 bytes       "STR0"
//   4        int32         Count, the number of entries
//   8        12 * Count    index entries sorted by Id: int32 Id, uint32 Offset,
//                          uint32 Length (UTF-16 code units)
//   then                   the texts, UTF-16LE, without terminators
// A table is checked when it is opened: one whose index or texts do not lie within the
// resource, or whose ids are not strictly ascending, is refused, so that no lookup can
// read outside the resource.

#include "comm/errors/Exception.h"
#include "comm/errors/ResourceModule.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace apd {

// A string table that cannot be found or is not a valid table, or a missing string when
// the reader is asked to raise for it. Not part of the EAPDException tree.
class ETpsStringResourceError : public Exception {
public:
    using Exception::Exception;
};

class TAdStringResource {
public:
    // A closed reader.
    TAdStringResource() = default;
    // Opens the table name, looking first in instance (when not null) and then in the
    // program's own module. Raises ETpsStringResourceError when neither holds it
    // ("String resource not found: <name>") or it is not a valid table
    // ("Invalid TPString resource").
    TAdStringResource(const TResourceModule* instance, std::string_view name);
    ~TAdStringResource();

    TAdStringResource(const TAdStringResource&) = delete;
    TAdStringResource& operator=(const TAdStringResource&) = delete;

    // Closes the current table and opens name as the constructor does.
    void OpenResource(std::string_view name);
    void CloseResource();
    bool IsOpen() const { return resource_.has_value(); }

    // The text of id in the platform's narrow encoding; empty when the table lacks id
    // (or, with RaiseIfMissing, ETpsStringResourceError "String not found: <id>").
    // A closed reader raises "Cannot lock resource". Lookups may run on several threads
    // at once; opening and closing may not run alongside them.
    std::string GetString(std::int32_t id) const;

    bool RaiseIfMissing() const { return raiseIfMissing_.load(std::memory_order_relaxed); }
    void SetRaiseIfMissing(bool raise) { raiseIfMissing_.store(raise, std::memory_order_relaxed); }

private:
    struct Entry {
        std::uint32_t offset; // bytes from the start of the table
        std::uint32_t length; // UTF-16 code units
    };
    std::optional<Entry> FindEntry(std::int32_t id) const;

    const TResourceModule* instance_ = nullptr;
    std::optional<TLoadedResource> resource_;
    std::int32_t count_ = 0;
    std::atomic<bool> raiseIfMissing_{false};
};

// The process-wide reader over "ADSRMGR_STRINGS", the reader's own messages, opened on
// first use.
const TAdStringResource& ManagerStrings();

} // namespace apd
