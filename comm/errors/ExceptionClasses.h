#pragma once
// Every exception class of the library: the ten group classes derived from EAPDException
// and the classes derived from them, one distinct type each so that callers can catch a
// group or a single failure. They add nothing to EAPDException and inherit its two
// constructors.

#include "comm/errors/ApdException.h"
#include "comm/errors/ExceptionTable.h"

namespace apd {

#define APD_DEFINE_GROUP(Name, ...)                                                                \
    class Name : public EAPDException {                                                            \
    public:                                                                                        \
        using EAPDException::EAPDException;                                                        \
    };
#define APD_DEFINE_CLASS(Name, Group, ...)                                                         \
    class Name : public Group {                                                                    \
    public:                                                                                        \
        using Group::Group;                                                                        \
    };

APD_EXCEPTION_TABLE(APD_DEFINE_GROUP, APD_DEFINE_CLASS)

#undef APD_DEFINE_GROUP
#undef APD_DEFINE_CLASS

#define APD_COUNT_ENTRY(...) +1 // NOLINT(bugprone-macro-parentheses): a term of a sum
// The number of exception classes, EAPDException included.
inline constexpr int ExceptionClassCount = 1 APD_EXCEPTION_TABLE(APD_COUNT_ENTRY, APD_COUNT_ENTRY);
#undef APD_COUNT_ENTRY

} // namespace apd
