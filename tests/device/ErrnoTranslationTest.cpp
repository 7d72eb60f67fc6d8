#include "comm/device/ErrnoTranslation.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace apd {
namespace {

struct Row {
    int error;
    ErrorCode opening;
    ErrorCode openDevice;
};

class ErrnoTranslation : public ::testing::TestWithParam<Row> {};

TEST_P(ErrnoTranslation, GivesTheLibraryCodeOfTheSameMeaning) {
    const Row& row = GetParam();
    EXPECT_EQ(ErrorCodeFromErrno(row.error, ErrnoContext::Opening), row.opening);
    EXPECT_EQ(ErrorCodeFromErrno(row.error, ErrnoContext::OpenDevice), row.openDevice);
    EXPECT_EQ(ErrorCodeFromErrno(row.error), row.openDevice);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrnoTranslation,
    ::testing::Values(
        Row{ENOENT, ecFileNotFound, ecFileNotFound}, Row{ENOTDIR, ecFileNotFound, ecFileNotFound},
        Row{EIO, ecFileNotFound, ecDeviceLost}, Row{ENXIO, ecFileNotFound, ecDeviceLost},
        Row{ENODEV, ecFileNotFound, ecDeviceLost}, Row{EACCES, ecAccessDenied, ecAccessDenied},
        Row{EPERM, ecAccessDenied, ecAccessDenied},
        Row{EBUSY, ecAlreadyOpen, SystemErrorCode(EBUSY)},
        Row{EWOULDBLOCK, ecAlreadyOpen, SystemErrorCode(EWOULDBLOCK)},
        Row{ENOMEM, ecOutOfMemory, ecOutOfMemory}, Row{EINVAL, ecBadArgument, ecBadArgument},
        Row{EMFILE, ecNoHandles, ecNoHandles}, Row{ENFILE, ecNoHandles, ecNoHandles},
        Row{ENOTTY, ecNotSupported, ecNotSupported},
        Row{EOPNOTSUPP, ecNotSupported, ecNotSupported},
        // No counterpart: the system's own number, outside the Windows ids.
        Row{ENOEXEC, SystemErrorCode(ENOEXEC), SystemErrorCode(ENOEXEC)},
        Row{ENOSPC, SystemErrorCode(ENOSPC), SystemErrorCode(ENOSPC)},
        Row{EPIPE, SystemErrorCode(EPIPE), SystemErrorCode(EPIPE)}));

} // namespace
} // namespace apd
