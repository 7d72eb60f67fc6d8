#pragma once
// The error check at the component boundary: turns a failed result into the exception
// its code maps to.

#include "comm/errors/ErrorCodes.h"

namespace apd {

// Anything that can say whether it is being loaded from its stored form; while it is,
// failures are not raised (a stored setting must not abort loading the whole form).
class ILoadingAware {
public:
    virtual ~ILoadingAware() = default;
    virtual bool IsLoading() const = 0;
};

// Returns code when it is not negative, or when owner is being loaded. Otherwise raises:
// - the class listed for the code in ExceptionTable.h, built from the code;
// - std::bad_alloc for -8;
// - EInOutError for -162 to -2 (message: ErrorMessageText of the magnitude; error number:
//   the magnitude);
// - EInOutError for a SystemErrorCode (message: SystemErrorMessageText of the system's
//   error number; error number: that number);
// - EAPDException("Zuri exception") with ErrorCode 0 for every other code.
// A null owner is never being loaded.
ErrorCode CheckErrorCode(const ILoadingAware* owner, ErrorCode code);

} // namespace apd
