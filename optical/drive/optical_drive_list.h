#pragma once
// The optical drives a burn or make-image dialog offers, each with its display
// text "(E:) VENDOR PRODUCT", and the write speeds a drive reports, each with
// its label such as "8x (11080KB/s)" whose 1x unit (CD, DVD or BD) is worked
// out from the speed values themselves. No Qt here: the dialogs show these.

#include <cstdint>
#include <string>
#include <vector>

namespace optical {

constexpr int kStringMaximumSpeed = 32240;
constexpr int kStringSpeedTenthsLabel = 32250;
constexpr int kStringSpeedWholeLabel = 32260;

struct OpticalDriveInfo {
    char16_t letter = 0;
    bool writer = false;
    std::u16string text;    // at most 69 characters
};

struct OpticalDriveList {
    std::vector<OpticalDriveInfo> drives;
    uint64_t version = 0;   // grows with every rebuild
};

// Enumerates the letters that have a drive device; drives that cannot be
// opened are left out, as are readers unless allDrives.
void RebuildOpticalDriveList(OpticalDriveList& list, bool allDrives);

// The display text of a drive from its raw INQUIRY vendor and product fields:
// printable ASCII only, trailing blanks removed, cut to 69 characters.
std::u16string DriveDisplayText(char16_t letter, std::string_view vendor, std::string_view product);

struct SpeedEntry {
    int32_t speed = -1;       // KB/s; -1 the maximum
    std::u16string text;
};

// One speed's label; unit is the 1x speed, chosen by the first entry of a
// fill (pass 1 for "not chosen yet") and kept for the rest. False when the
// speed gives no entry (0, or below a tenth of the unit).
bool MakeSpeedEntry(uint32_t speed, uint32_t& unit, uint8_t mediaCode, SpeedEntry& entry);

// "Maximum" first, then the write speeds the drive in letter reports (GET
// PERFORMANCE, else the capabilities page). A drive that answers nothing
// gives "Maximum" alone.
std::vector<SpeedEntry> ListWriteSpeeds(char16_t letter);

}  // namespace optical
