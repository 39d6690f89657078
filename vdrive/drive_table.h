#pragma once
// Where the virtual drives live: the folder "drives" of the runtime folder,
// one folder per drive letter ("drives/D") that a mount covers, and the table
// "drives/table" of "<number> <letter>" lines that the helper writes
// (atomically) and every client reads.

#include <cstdint>
#include <string>
#include <vector>

namespace vdrive {

struct VirtualDriveEntry {
    uint32_t number = 0;     // 0..22
    char16_t letter = 0;     // 'D'..'Z'
};

// Empty when the runtime folder cannot be used.
std::string DrivesFolder();
std::string DriveFolder(char16_t letter);

// Rows with a number 0..22 and a letter D..Z, each number and letter once,
// ordered by number; empty when there is no table.
std::vector<VirtualDriveEntry> ReadDriveTable();
bool WriteDriveTable(const std::vector<VirtualDriveEntry>& drives);

}  // namespace vdrive
