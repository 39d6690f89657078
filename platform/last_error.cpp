#include "platform/last_error.h"

#include <cerrno>

namespace platform {

namespace {

thread_local uint32_t tLastError = kErrorSuccess;

struct ErrorTextEntry {
    uint32_t code;
    const char16_t* text;
};

// The texts a Windows user knows for each code, so translated messages that
// embed them read the same.
constexpr ErrorTextEntry kErrorTexts[] = {
    {kErrorSuccess, u"The operation completed successfully."},
    {kErrorInvalidFunction, u"Incorrect function."},
    {kErrorFileNotFound, u"The system cannot find the file specified."},
    {kErrorPathNotFound, u"The system cannot find the path specified."},
    {kErrorTooManyOpenFiles, u"The system cannot open the file."},
    {kErrorAccessDenied, u"Access is denied."},
    {kErrorInvalidHandle, u"The handle is invalid."},
    {kErrorNotEnoughMemory, u"Not enough memory resources are available to process this command."},
    {kErrorNotSameDevice, u"The system cannot move the file to a different disk drive."},
    {kErrorWriteProtect, u"The media is write protected."},
    {kErrorNotReady, u"The device is not ready."},
    {kErrorCrc, u"Data error (cyclic redundancy check)."},
    {kErrorSeek, u"The drive cannot locate a specific area or track on the disk."},
    {kErrorWriteFault, u"The system cannot write to the specified device."},
    {kErrorReadFault, u"The system cannot read from the specified device."},
    {kErrorSharingViolation, u"The process cannot access the file because it is being used by another process."},
    {kErrorLockViolation, u"The process cannot access the file because another process has locked a portion of the file."},
    {kErrorHandleEof, u"Reached the end of the file."},
    {kErrorNotSupported, u"The request is not supported."},
    {kErrorFileExists, u"The file exists."},
    {kErrorInvalidParameter, u"The parameter is incorrect."},
    {kErrorBrokenPipe, u"The pipe has been ended."},
    {kErrorDiskFull, u"There is not enough space on the disk."},
    {kErrorInvalidName, u"The filename, directory name, or volume label syntax is incorrect."},
    {kErrorDirNotEmpty, u"The directory is not empty."},
    {kErrorBusy, u"The requested resource is in use."},
    {kErrorAlreadyExists, u"Cannot create a file when that file already exists."},
    {kErrorFilenameTooLong, u"The filename or extension is too long."},
    {kErrorNoData, u"The pipe is being closed."},
    {kErrorWaitTimeout, u"The wait operation timed out."},
    {kErrorNotOwner, u"Attempt to release mutex not owned by caller."},
    {kErrorNoMediaInDrive, u"There is no media in the drive."},
    {kErrorNoUnicodeTranslation, u"No mapping for the Unicode character exists in the target multi-byte code page."},
    {kErrorIoDevice, u"The request could not be performed because of an I/O device error."},
    {kErrorNotFound, u"Element not found."},
    {kErrorCancelled, u"The operation was canceled by the user."},
};

}  // namespace

uint32_t GetLastError() { return tLastError; }

void SetLastError(uint32_t code) { tLastError = code; }

uint32_t ErrorFromErrno(int err) {
    switch (err) {
        case 0: return kErrorSuccess;
        case ENOENT: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        case EMFILE:
        case ENFILE: return kErrorTooManyOpenFiles;
        case EACCES:
        case EPERM: return kErrorAccessDenied;
        case EBADF: return kErrorInvalidHandle;
        case ENOMEM: return kErrorNotEnoughMemory;
        case EROFS: return kErrorWriteProtect;
        case ENXIO:
        case ENODEV: return kErrorNotReady;
        case ENOMEDIUM: return kErrorNoMediaInDrive;
        case ESPIPE: return kErrorSeek;
        case EEXIST: return kErrorFileExists;
        case EINVAL:
        case EFAULT:
        case EOVERFLOW: return kErrorInvalidParameter;
        case EPIPE: return kErrorBrokenPipe;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return kErrorDiskFull;
        case EILSEQ: return kErrorNoUnicodeTranslation;
        case ENOTEMPTY: return kErrorDirNotEmpty;
        case EBUSY:
        case ETXTBSY: return kErrorBusy;
        case ENAMETOOLONG: return kErrorFilenameTooLong;
        case ELOOP: return kErrorInvalidName;
        case EAGAIN: return kErrorNoData;
        case ETIMEDOUT: return kErrorWaitTimeout;
        case EIO: return kErrorIoDevice;
        case ENOSYS:
        case EOPNOTSUPP: return kErrorNotSupported;
        case EISDIR: return kErrorAccessDenied;
        case ECANCELED: return kErrorCancelled;
        case EDEADLK:
        case ENOLCK: return kErrorLockViolation;
        case EXDEV: return kErrorNotSameDevice;
        default: return kErrorInvalidFunction;
    }
}

uint32_t SetLastErrorFromErrno() { return SetLastErrorFromErrno(errno); }

uint32_t SetLastErrorFromErrno(int err) {
    uint32_t code = ErrorFromErrno(err);
    tLastError = code;
    return code;
}

std::u16string ErrorText(uint32_t code) {
    for (const ErrorTextEntry& entry : kErrorTexts) {
        if (entry.code == code) return entry.text;
    }
    std::u16string out = u"Unknown error (";
    std::u16string digits;
    uint32_t v = code;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + v % 10));
        v /= 10;
    } while (v != 0);
    return out + digits + u").";
}

}  // namespace platform
