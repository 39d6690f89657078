#pragma once
// The program's side of the virtual drives on top of the channel: the drive
// list, whether the drives can be used, mounting and unmounting by drive
// number or letter, the number of drives, and the path mounted on a drive.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vdrive/drive_table.h"

namespace vdrive {

std::vector<VirtualDriveEntry> GetVirtualDriveList();

// /dev/fuse can be opened and the helper runs. With report, the reason is
// told: "Quendravine Virtual Drive is not installed correctly." with the error.
bool IsVirtualDriveAvailable(bool report);

// The image mounted on the drive (its extended attribute); empty for none.
std::u16string GetMountedImagePath(const VirtualDriveEntry& drive);
// "Drive [%c:] " and the mounted path, or "<No media>".
std::u16string FormatDriveMenuText(const VirtualDriveEntry& drive);

// Opens the image first (a file that cannot be opened leaves the drive as it
// was), then asks the helper to mount it. Outside console mode a failure is
// shown ("Mount archive failed.").
bool MountOnVirtualDrive(uint32_t number, std::u16string_view path);
bool MountOnDriveLetter(char16_t letter, std::u16string_view path);
// False when the drive stays mounted (a program works inside it).
bool UnmountVirtualDrive(uint32_t number);
// False for a letter that is no virtual drive (said on the console) and when
// the drive stays mounted.
bool UnmountDriveLetter(char16_t letter);
bool SetVirtualDriveCount(uint32_t count);

}  // namespace vdrive
