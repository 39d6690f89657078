#pragma once
// Whether the virtual drives can be used: the drive helper must be running and
// serving its command channel. The menus and the console commands ask first.

namespace vdrive {

// The channel's shared mapping, as the helper creates it.
inline constexpr const char16_t* kChannelMappingName = u"Global\\QUENDRAVINE_C2C80BFABC_FILEMAPPING";

// True when the helper's channel is there. With report, a missing helper is
// told to the user ("Quendravine Virtual Drive is not installed correctly."
// with the error code).
bool IsVirtualDriveAvailable(bool report);

}  // namespace vdrive
