#pragma once
// The stored virtual-drive options and what they do at start-up: the option
// bits ("Flags": 1 start the helper with the session, 2 mount again what was
// mounted), the number of drives ("DiskCount") and the image last mounted on
// each drive ("ImageName<n>"), and a drive's letter.

#include <cstdint>
#include <string_view>

namespace vdrive {

enum : uint32_t { kOptionAutostart = 1, kOptionAutomount = 2 };

uint32_t GetVirtualDriveOptions();
// Stores the bits; the autostart bit writes (or removes) the desktop's
// autostart entry for the helper and, when on, starts the helper now.
void SetVirtualDriveOptions(uint32_t flags);

// Sets the stored number of drives and, with automount on, mounts on each
// drive the image last mounted there (a stored image that no longer mounts is
// forgotten); drives without a stored image are emptied. False when the
// number of drives could not be set.
bool RestoreVirtualDrives();

// Remembered by the console and menu commands after a mount or unmount.
void RememberDriveImage(uint32_t number, std::u16string_view path);

// The drive gets the wanted letter, or the first free one ('A' asks for any);
// a different letter than asked is said. The drive keeps its image.
bool SetVirtualDriveLetter(uint32_t number, char16_t wanted);

}  // namespace vdrive
