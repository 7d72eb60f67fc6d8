#include "comm/errors/CheckErrorCode.h"

#include "comm/errors/ErrorMessageText.h"
#include "comm/errors/ExceptionClasses.h"
#include "comm/errors/RuntimeErrors.h"
#include "comm/errors/SystemMessage.h"

#include <gtest/gtest.h>

#include <climits>
#include <new>
#include <optional>
#include <type_traits>
#include <typeinfo>

namespace apd {
namespace {

class TOwner : public ILoadingAware {
public:
    explicit TOwner(bool loading) : loading_(loading) {}
    bool IsLoading() const override { return loading_; }

private:
    bool loading_;
};

const TOwner running(false);

// The exception of class E (or derived from it) that CheckErrorCode raises for code.
template <class E>
std::optional<E> Raised(ErrorCode code) {
    try {
        CheckErrorCode(&running, code);
    } catch (const E& e) {
        return e;
    }
    return std::nullopt;
}

TEST(ExceptionClasses, FormOneTreeOf172Classes) {
    EXPECT_EQ(ExceptionClassCount, 172);
    static_assert(std::is_base_of_v<Exception, EAPDException>);
    static_assert(std::is_base_of_v<EAPDException, EOpenComm>);
    static_assert(std::is_base_of_v<EOpenComm, EBadId>);
    static_assert(std::is_base_of_v<EGeneral, EInternal>);
    static_assert(std::is_base_of_v<ETapi, ETapiNoMultipleInstance>);
    static_assert(std::is_base_of_v<ERas, ERasLoadFail>);
    static_assert(!std::is_base_of_v<ESerialIO, EBadId>);
    static_assert(!std::is_base_of_v<EAPDException, EInOutError>);
}

TEST(CheckErrorCode, ReturnsResultsThatAreNoFailures) {
    EXPECT_EQ(CheckErrorCode(&running, 17), 17);
    EXPECT_EQ(CheckErrorCode(&running, 0), 0);
    EXPECT_EQ(CheckErrorCode(nullptr, INT_MAX), INT_MAX);
}

TEST(CheckErrorCode, ReturnsFailuresWhileTheOwnerIsBeingLoaded) {
    const TOwner loading(true);
    EXPECT_EQ(CheckErrorCode(&loading, ecCommNotOpen), ecCommNotOpen);
    EXPECT_EQ(CheckErrorCode(&loading, -1), -1);
    EXPECT_THROW(CheckErrorCode(&running, ecCommNotOpen), ECommNotOpen);
    EXPECT_THROW(CheckErrorCode(nullptr, ecCommNotOpen), ECommNotOpen);
}

TEST(CheckErrorCode, RaisesTheClassOfTheCodeWithItsMessage) {
    try {
        CheckErrorCode(&running, ecBadId);
        FAIL() << "nothing raised";
    } catch (const EOpenComm& e) {
        EXPECT_EQ(typeid(e), typeid(EBadId));
        EXPECT_EQ(e.ErrorCode(), ecBadId);
        EXPECT_EQ(e.Message(), "ie_BadId - Specified comport doesn't exist");
    }
    EXPECT_THROW(CheckErrorCode(&running, ecBadId), EAPDException);
    EXPECT_THROW(CheckErrorCode(&running, ecBadId), Exception);
    try {
        CheckErrorCode(&running, ecBufferIsEmpty);
        FAIL() << "nothing raised";
    } catch (const EOpenComm&) {
        FAIL() << "a serial I/O failure caught as a port opening failure";
    } catch (const ESerialIO& e) {
        EXPECT_EQ(e.Message(), "Buffer is empty");
    }
}

// Each listed code raises exactly its class (not a relative of it), with the code kept.
TEST(CheckErrorCode, EveryListedCodeRaisesExactlyItsClass) {
    int checked = 0;
    const auto expect = [&checked](ErrorCode code, const std::type_info& wanted) {
        try {
            CheckErrorCode(&running, code);
            ADD_FAILURE() << code << " raised nothing";
        } catch (const EAPDException& e) {
            EXPECT_EQ(typeid(e), wanted) << code << " raised " << typeid(e).name();
            EXPECT_EQ(e.ErrorCode(), code);
        }
        ++checked;
    };
#define APD_EXPECT_GROUP(Name, ...)                                                                \
    for (const ErrorCode code : std::initializer_list<ErrorCode>{__VA_ARGS__}) {                   \
        expect(code, typeid(Name));                                                                \
    }
#define APD_EXPECT_CLASS(Name, Group, ...)                                                         \
    static_assert(std::is_base_of_v<Group, Name> && !std::is_same_v<Group, Name>);                 \
    APD_EXPECT_GROUP(Name, __VA_ARGS__)
    APD_EXCEPTION_TABLE(APD_EXPECT_GROUP, APD_EXPECT_CLASS)
#undef APD_EXPECT_GROUP
#undef APD_EXPECT_CLASS
    // 161 classes with one code each, EInternal with three more, EProtocol with three.
    EXPECT_EQ(checked, 167);
}

TEST(CheckErrorCode, ClassesWithSeveralCodes) {
    for (const ErrorCode code : {-1006, -7003, -7006, -7012}) {
        const auto e = Raised<EInternal>(code);
        ASSERT_TRUE(e.has_value()) << code;
        EXPECT_EQ(e->ErrorCode(), code);
    }
    EXPECT_EQ(Raised<EGeneral>(-7006)->Message(), "No index defined for database");
    EXPECT_EQ(Raised<EProtocol>(-6008)->Message(), "Too many errors during protocol");
    EXPECT_EQ(Raised<EProtocol>(-6009)->ErrorCode(), -6009);
}

TEST(CheckErrorCode, ClassWithoutAMessageTextRaisesWithAnEmptyMessage) {
    const auto e = Raised<EKeyTooLong>(-7001);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->Message(), "");
    EXPECT_EQ(e->ErrorCode(), -7001);
}

TEST(CheckErrorCode, RaisesInOutErrorForOperatingSystemCodes) {
    const auto notFound = Raised<EInOutError>(ecFileNotFound);
    ASSERT_TRUE(notFound.has_value());
    EXPECT_EQ(notFound->Message(), "File not found");
    EXPECT_EQ(notFound->ErrorCode(), 2);

    // 87 has no table text: the operating system's message, cleaned.
    const auto osOnly = Raised<EInOutError>(-87);
    ASSERT_TRUE(osOnly.has_value());
    EXPECT_EQ(osOnly->ErrorCode(), 87);
    EXPECT_EQ(osOnly->Message(), CleanSystemMessage(SystemMessageText(87)));
    EXPECT_FALSE(osOnly->Message().empty());

    const auto last = Raised<EInOutError>(-162);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->Message(), "General failure");
    EXPECT_EQ(last->ErrorCode(), 162);

    // An untranslated system error keeps the system's own number and text, also where the
    // number is a Windows id with another meaning (5, 8) or has no text of the system.
    for (const int number : {5, 8, 13, 87}) {
        const auto system = Raised<EInOutError>(SystemErrorCode(number));
        ASSERT_TRUE(system.has_value()) << number;
        EXPECT_EQ(system->ErrorCode(), number);
        EXPECT_EQ(system->Message(), CleanSystemMessage(SystemMessageText(number))) << number;
        EXPECT_FALSE(system->Message().empty()) << number;
    }
    const auto unknown = Raised<EInOutError>(SystemErrorCode(SystemErrorNumberMax));
    ASSERT_TRUE(unknown.has_value());
    EXPECT_EQ(unknown->ErrorCode(), SystemErrorNumberMax);
    EXPECT_EQ(unknown->Message(), "Operating-system error 65535");
}

TEST(CheckErrorCode, RaisesOutOfMemoryForMinusEight) {
    EXPECT_THROW(CheckErrorCode(&running, ecOutOfMemory), std::bad_alloc);
}

TEST(CheckErrorCode, RaisesTheGenericExceptionForEveryOtherFailure) {
    for (const ErrorCode code :
         {-1, -163, -1000, -1001, -1010, -3002, -5001, -1450, -6001, -7009, -13804, INT_MIN}) {
        try {
            CheckErrorCode(&running, code);
            ADD_FAILURE() << code << " raised nothing";
        } catch (const EAPDException& e) {
            EXPECT_EQ(typeid(e), typeid(EAPDException)) << code;
            EXPECT_EQ(e.ErrorCode(), 0) << code;
            EXPECT_EQ(e.Message(), "Zuri exception") << code;
        }
    }
}

TEST(EAPDException, ConstructsFromACodeOrAText) {
    const EAPDException fromCode(ecTriggerTooLong);
    EXPECT_EQ(fromCode.ErrorCode(), ecTriggerTooLong);
    EXPECT_EQ(fromCode.Message(), "Data trigger too long");
    const EBadTriggerHandle subclassFromText("own text");
    EXPECT_EQ(subclassFromText.ErrorCode(), 0);
    EXPECT_EQ(subclassFromText.Message(), "own text");
    // A magnitude beyond the 16-bit message ids names no message.
    EXPECT_EQ(EAPDException(-65536 - 2007).Message(), "");
    EXPECT_EQ(EAPDException(INT_MIN).Message(), "");
}

} // namespace
} // namespace apd
