#pragma once
// The thread-local last-error value, in the Windows error-code space the rest of
// the program (and its translated messages) speaks. Set by the platform call that
// failed, from errno at that moment; nothing reads errno later.

#include <cstdint>
#include <string>

namespace platform {

enum : uint32_t {
    kErrorSuccess = 0,
    kErrorInvalidFunction = 1,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorTooManyOpenFiles = 4,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorNotSameDevice = 17,
    kErrorWriteProtect = 19,
    kErrorNotReady = 21,
    kErrorCrc = 23,
    kErrorSeek = 25,
    kErrorWriteFault = 29,
    kErrorReadFault = 30,
    kErrorSharingViolation = 32,
    kErrorLockViolation = 33,
    kErrorHandleEof = 38,
    kErrorNotSupported = 50,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorBrokenPipe = 109,
    kErrorDiskFull = 112,
    kErrorInvalidName = 123,
    kErrorDirNotEmpty = 145,
    kErrorBusy = 170,
    kErrorAlreadyExists = 183,
    kErrorFilenameTooLong = 206,
    kErrorNoData = 232,
    kErrorWaitTimeout = 258,
    kErrorNotOwner = 288,
    kErrorNoUnicodeTranslation = 1113,
    kErrorNoMediaInDrive = 1112,
    kErrorIoDevice = 1117,
    kErrorNotFound = 1168,
    kErrorCancelled = 1223,
};

uint32_t GetLastError();
void SetLastError(uint32_t code);

// Maps an errno value to the Windows code space.
uint32_t ErrorFromErrno(int err);

// Sets the last error from errno (or from the given value) and returns the code.
uint32_t SetLastErrorFromErrno();
uint32_t SetLastErrorFromErrno(int err);

// Our own English text for a code ("The system cannot find the file specified."),
// or "Unknown error (N)." for a code we have no text for.
std::u16string ErrorText(uint32_t code);

}  // namespace platform
