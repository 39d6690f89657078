#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

TEST(PlatformLastError, FromErrno) {
    struct Row {
        int err;
        uint32_t code;
    };
    const Row rows[] = {
        {0, platform::kErrorSuccess},
        {ENOENT, platform::kErrorFileNotFound},
        {ENOTDIR, platform::kErrorPathNotFound},
        {EACCES, platform::kErrorAccessDenied},
        {EPERM, platform::kErrorAccessDenied},
        {EMFILE, platform::kErrorTooManyOpenFiles},
        {EBADF, platform::kErrorInvalidHandle},
        {ENOMEM, platform::kErrorNotEnoughMemory},
        {EROFS, platform::kErrorWriteProtect},
        {ENOMEDIUM, platform::kErrorNoMediaInDrive},
        {EEXIST, platform::kErrorFileExists},
        {EINVAL, platform::kErrorInvalidParameter},
        {EPIPE, platform::kErrorBrokenPipe},
        {ENOSPC, platform::kErrorDiskFull},
        {EDQUOT, platform::kErrorDiskFull},
        {EFBIG, platform::kErrorDiskFull},
        {ENOTEMPTY, platform::kErrorDirNotEmpty},
        {EBUSY, platform::kErrorBusy},
        {ENAMETOOLONG, platform::kErrorFilenameTooLong},
        {ETIMEDOUT, platform::kErrorWaitTimeout},
        {EIO, platform::kErrorIoDevice},
        {EXDEV, platform::kErrorNotSameDevice},
        {EILSEQ, platform::kErrorNoUnicodeTranslation},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(platform::ErrorFromErrno(r.err), r.code) << r.err;
        errno = r.err;
        EXPECT_EQ(platform::SetLastErrorFromErrno(), r.code);
        EXPECT_EQ(platform::GetLastError(), r.code);
    }
    EXPECT_EQ(platform::SetLastErrorFromErrno(ENOSPC), platform::kErrorDiskFull);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorDiskFull);
}

TEST(PlatformLastError, EnglishTexts) {
    struct Row {
        uint32_t code;
        std::u16string text;
    };
    const Row rows[] = {
        {platform::kErrorFileNotFound, u"The system cannot find the file specified."},
        {platform::kErrorPathNotFound, u"The system cannot find the path specified."},
        {platform::kErrorAccessDenied, u"Access is denied."},
        {platform::kErrorNotReady, u"The device is not ready."},
        {platform::kErrorCrc, u"Data error (cyclic redundancy check)."},
        {platform::kErrorSharingViolation, u"The process cannot access the file because it is being used by another process."},
        {platform::kErrorFileExists, u"The file exists."},
        {platform::kErrorInvalidParameter, u"The parameter is incorrect."},
        {platform::kErrorDiskFull, u"There is not enough space on the disk."},
        {platform::kErrorNoMediaInDrive, u"There is no media in the drive."},
        {platform::kErrorIoDevice, u"The request could not be performed because of an I/O device error."},
        {4000000000u, u"Unknown error (4000000000)."},
        {0x4242, u"Unknown error (16962)."},
    };
    for (const Row& r : rows) EXPECT_EQ(platform::ErrorText(r.code), r.text) << r.code;
    // Every named code has a text of its own.
    for (uint32_t code : {1u, 2u, 3u, 4u, 5u, 6u, 8u, 17u, 19u, 21u, 23u, 25u, 29u, 30u, 32u, 33u, 38u, 50u, 80u,
                          87u, 109u, 112u, 123u, 145u, 170u, 183u, 206u, 232u, 258u, 1112u, 1113u, 1117u, 1168u,
                          1223u}) {
        EXPECT_NE(platform::ErrorText(code).substr(0, 7), u"Unknown") << code;
    }
}

TEST(PlatformLastError, IsPerThread) {
    platform::SetLastError(platform::kErrorCrc);
    uint32_t seenByOther = 99;
    std::thread other([&] {
        seenByOther = platform::GetLastError();
        platform::SetLastError(platform::kErrorDiskFull);
    });
    other.join();
    EXPECT_EQ(seenByOther, platform::kErrorSuccess);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorCrc);
}

}  // namespace
