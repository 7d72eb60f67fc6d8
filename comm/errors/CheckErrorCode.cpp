#include "comm/errors/CheckErrorCode.h"

#include "comm/errors/ErrorMessageText.h"
#include "comm/errors/ExceptionClasses.h"
#include "comm/errors/RuntimeErrors.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <new>

namespace apd {

namespace {

constexpr ErrorCode firstInOutCode = -162;
constexpr ErrorCode lastInOutCode = -2;

constexpr bool IsListed(ErrorCode code, std::initializer_list<ErrorCode> codes) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// Every code listed in the table, in table order.
#define APD_LIST_GROUP_CODES(Name, ...) __VA_ARGS__ __VA_OPT__(, )
#define APD_LIST_CLASS_CODES(Name, Group, ...) __VA_ARGS__ __VA_OPT__(, )
constexpr ErrorCode listedCodes[] = {
    APD_EXCEPTION_TABLE(APD_LIST_GROUP_CODES, APD_LIST_CLASS_CODES)};
#undef APD_LIST_GROUP_CODES
#undef APD_LIST_CLASS_CODES

constexpr bool EveryCodeListedOnceAndNegative() {
    for (std::size_t i = 0; i < std::size(listedCodes); ++i) {
        if (listedCodes[i] >= 0) {
            return false;
        }
        for (std::size_t j = i + 1; j < std::size(listedCodes); ++j) {
            if (listedCodes[i] == listedCodes[j]) {
                return false;
            }
        }
    }
    return true;
}
static_assert(EveryCodeListedOnceAndNegative(), "a code may raise only one class");

// Raises the class listed for code, if any.
void RaiseListedClass(ErrorCode code) {
#define APD_RAISE_GROUP(Name, ...)                                                                 \
    if (IsListed(code, {__VA_ARGS__})) {                                                           \
        throw Name(code);                                                                          \
    }
#define APD_RAISE_CLASS(Name, Group, ...) APD_RAISE_GROUP(Name, __VA_ARGS__)
    APD_EXCEPTION_TABLE(APD_RAISE_GROUP, APD_RAISE_CLASS)
#undef APD_RAISE_GROUP
#undef APD_RAISE_CLASS
}

} // namespace

ErrorCode CheckErrorCode(const ILoadingAware* owner, ErrorCode code) {
    if (code >= 0 || (owner != nullptr && owner->IsLoading())) {
        return code;
    }
    RaiseListedClass(code);
    if (IsSystemErrorCode(code)) {
        const int number = SystemErrorNumber(code);
        throw EInOutError(SystemErrorMessageText(number), number);
    }
    if (code >= firstInOutCode && code <= lastInOutCode) {
        if (code == ecOutOfMemory) {
            throw std::bad_alloc();
        }
        throw EInOutError(ErrorMessageText(static_cast<std::int16_t>(-code)), -code);
    }
    throw EAPDException("Zuri exception");
}

} // namespace apd
