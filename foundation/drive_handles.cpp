#include "foundation/drive_handles.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <mutex>

#include "foundation/drive_device_services.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/optical_services.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace foundation {
namespace {

constexpr int kLetters = 26;

struct DriveEntry {
    char16_t letter = 0;          // 0 when free
    FileHandle handle = nullptr;
    int32_t lockCount = 0;
    int32_t referenceCount = 0;
};

struct DriveTable {
    std::mutex lock;
    std::array<DriveEntry, kLetters> entries{};
};

DriveTable& Table() {
    static DriveTable table;
    return table;
}

// 'A'..'Z' (lower case accepted); 0 for anything else, so no letter can name a
// slot outside the table.
char16_t NormaliseLetter(char16_t letter) {
    if (letter >= u'a' && letter <= u'z') letter = static_cast<char16_t>(letter - u'a' + u'A');
    if (letter < u'A' || letter > u'Z') return 0;
    return letter;
}

DriveEntry* FindByHandle(DriveTable& table, FileHandle handle) {
    if (!handle) return nullptr;
    for (DriveEntry& entry : table.entries) {
        if (entry.letter != 0 && entry.handle == handle) return &entry;
    }
    return nullptr;
}

// An optical drive opened without O_NONBLOCK fails with "no medium" when its
// tray is empty or open, so the program could never ask it TEST UNIT READY or
// tell it to close its tray. The flag stays set: it changes nothing for SCSI
// pass-through or block reads, only the open's wait for a medium.
FileHandle OpenDevice(const std::u16string& device, bool write) {
    const std::string native = platform::Utf16ToUtf8(device);
    const int fd = ::open(native.c_str(), (write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        platform::SetLastErrorFromErrno(errno);
        return nullptr;
    }
    FileHandle file = platform::FileFromDescriptor(fd);
    if (!file) ::close(fd);
    return file;
}

}  // namespace

FileHandle OpenDriveHandle(char16_t letter) {
    char16_t normal = NormaliseLetter(letter);
    if (normal == 0) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return nullptr;
    }
    DriveTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    DriveEntry& entry = table.entries[static_cast<size_t>(normal - u'A')];
    if (entry.letter == normal) {
        ++entry.referenceCount;
        return entry.handle;
    }
    std::u16string device = DriveDeviceServices().DevicePath(normal);
    if (device.empty()) {
        platform::SetLastError(platform::kErrorNotReady);
        return nullptr;
    }
    // Read and write first; a drive that refuses writing is used read-only.
    FileHandle handle = OpenDevice(device, true);
    if (!handle) handle = OpenDevice(device, false);
    if (!handle) return nullptr;
    entry.letter = normal;
    entry.handle = handle;
    entry.lockCount = 0;
    entry.referenceCount = 1;
    return handle;
}

int LockDriveHandle(FileHandle handle) {
    DriveTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    DriveEntry* entry = FindByHandle(table, handle);
    if (!entry) return 0;
    if (entry->lockCount == 0) {
        // Never a forced dismount: without the lock it would cut other
        // programs' open files on the volume.
        if (!foundation::LockAndDismountVolume(handle, 0)) return 0;
    }
    ++entry->lockCount;
    return 1;
}

FileHandle OpenAndLockDrive(char16_t letter, bool ask) {
    FileHandle handle = OpenDriveHandle(letter);
    if (!handle) return nullptr;
    if (LockDriveHandle(handle) || !ask) return handle;
    int answer = AppMessageBox(GetLangString(kStringCannotLockDrive, u"Can't lock the drive for exclusive access."),
                               kMbOkCancel | kMbIconQuestion);
    if (answer == kIdOk) return handle;
    CloseDriveHandle(handle);
    return nullptr;
}

int UnlockDriveHandle(FileHandle handle) {
    DriveTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    DriveEntry* entry = FindByHandle(table, handle);
    if (!entry) return -1;
    if (entry->lockCount <= 0) return entry->lockCount;
    if (--entry->lockCount == 0) return foundation::UnlockVolume(handle);
    return entry->lockCount;
}

int CloseDriveHandle(FileHandle handle) {
    if (!handle) return 0;
    DriveTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    DriveEntry* entry = FindByHandle(table, handle);
    if (!entry) {
        platform::FileClose(handle);
        return 1;
    }
    if (--entry->referenceCount > 0) return 1;
    if (entry->lockCount > 0) foundation::UnlockVolume(handle);
    platform::FileClose(handle);
    *entry = DriveEntry{};
    return 1;
}

void ResetDriveTable() {
    DriveTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (DriveEntry& entry : table.entries) {
        if (entry.letter != 0) platform::FileClose(entry.handle);
        entry = DriveEntry{};
    }
}

}  // namespace foundation
