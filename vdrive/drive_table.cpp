#include "vdrive/drive_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/folders.h"
#include "platform/staged_file.h"

namespace vdrive {

std::string DrivesFolder() {
    std::string runtime;
    if (!platform::GetRuntimeFolderUtf8(runtime)) return {};
    const std::string folder = runtime + "/drives";
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

std::string DriveFolder(char16_t letter) {
    const std::string folder = DrivesFolder();
    if (folder.empty() || letter < u'A' || letter > u'Z') return {};
    return folder + "/" + char(letter);
}

std::vector<VirtualDriveEntry> ReadDriveTable() {
    std::vector<VirtualDriveEntry> drives;
    const std::string folder = DrivesFolder();
    if (folder.empty()) return drives;
    std::ifstream in(folder + "/table");
    std::string line;
    bool seenNumber[32] = {}, seenLetter[32] = {};
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long number = -1;
        std::string letter;
        if (!(fields >> number >> letter) || letter.size() != 1) continue;
        const char l = letter[0];
        if (number < 0 || number > 22 || l < 'D' || l > 'Z') continue;
        if (seenNumber[number] || seenLetter[l - 'A']) continue;
        seenNumber[number] = seenLetter[l - 'A'] = true;
        drives.push_back({uint32_t(number), char16_t(l)});
    }
    std::sort(drives.begin(), drives.end(), [](auto& a, auto& b) { return a.number < b.number; });
    return drives;
}

bool WriteDriveTable(const std::vector<VirtualDriveEntry>& drives) {
    const std::string folder = DrivesFolder();
    if (folder.empty()) return false;
    std::string text;
    for (const VirtualDriveEntry& d : drives) text += std::to_string(d.number) + ' ' + char(d.letter) + '\n';
    // The table lives in the runtime folder, which no crash outlives: no fsync.
    platform::StagedFile file;
    return file.BeginUtf8(folder + "/table") && file.Write(text.data(), text.size()) && file.Commit();
}

}  // namespace vdrive
