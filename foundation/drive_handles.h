#pragma once
// The shared table of raw drive handles, one entry per drive letter A-Z, with
// reference and lock counts: several holders share one open handle, and the
// volume stays locked while any lock is outstanding. Letters outside A-Z (after
// upper-casing) are refused. Callers serialise their use (one operation at a
// time); the table also takes a lock of its own so a stray second thread cannot
// corrupt it.

#include <cstdint>
#include <string>

#include "foundation/file_io.h"

namespace foundation {

// Letters reach their devices through foundation/drive_device_services.h.

// Language string of the lock question.
constexpr int kStringCannotLockDrive = 32120;

FileHandle OpenDriveHandle(char16_t letter);
// 1 when locked (the first lock locks and dismounts the volume; a refused lock
// fails and nothing is forced), 0 on failure or for a handle not in the table.
int LockDriveHandle(FileHandle handle);
// OpenDriveHandle, then LockDriveHandle; with ask set a refused lock asks "Can't
// lock the drive for exclusive access." (OK keeps the unlocked handle, Cancel
// closes it and gives null).
FileHandle OpenAndLockDrive(char16_t letter, bool ask);
// -1 for a handle not in the table; a lock count of 0 or below is returned
// unchanged; otherwise it goes down by 1, and at 0 the volume is unlocked and
// that call's result (1 or 0) is returned, else the new count. (So 1 means
// either "still locked once" or "unlocked now"; callers use it as a boolean.)
int UnlockDriveHandle(FileHandle handle);
// Null: 0. A handle not in the table is closed. Otherwise the reference count
// goes down; at 0 a held lock is released, the handle closed and the entry
// cleared. Returns 1.
int CloseDriveHandle(FileHandle handle);

// Tests: closes every entry and clears the table.
void ResetDriveTable();

}  // namespace foundation
