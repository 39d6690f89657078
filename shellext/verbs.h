#pragma once
// Names for the kinds of the extension's menu entries, the same in every
// language: file managers call "qvshell --invoke NAME -- FILE..." with them,
// and the menu dump shows them. Drive-numbered kinds carry the number.

#include <cstdint>
#include <string>

namespace shellext {

enum MenuKind : uint32_t {
    kKindAddArchive = 1,
    kKindAddTo = 2,
    kKindExtractTo = 3,
    kKindExtractHere = 4,
    kKindExtractNames = 5,
    kKindAddArchiveEmail = 6,
    kKindAddToEmail = 7,
    kKindBurn = 8,
    kKindNoDrive = 10,
    kKindMountFirst = 11,     // 11..33: mount on drive index kind - 11
    kKindMountLast = 33,
    kKindDriveCountFirst = 100,   // 100..123: number of drives kind - 100
    kKindDriveCountLast = 123,
    kKindMountSelectedDrive = 150,
    kKindUnmountDrive = 151,
    kKindUnmountDriveGrayed = 152,
    kKindUnmountAll = 153,
    kKindAutostart = 180,
    kKindAutomount = 181,
    kKindConfiguration = 182,
    kKindMakeImage = 190,
    kKindInstallDrive = 192,
    kKindOpenOrRun = 193,
};

inline std::string VerbOfKind(uint32_t kind) {
    switch (kind) {
    case kKindAddArchive: return "add-to-archive";
    case kKindAddTo: return "add-to";
    case kKindExtractTo: return "extract-to";
    case kKindExtractHere: return "extract-here";
    case kKindExtractNames: return "extract-by-name";
    case kKindAddArchiveEmail: return "add-to-archive-email";
    case kKindAddToEmail: return "add-to-email";
    case kKindBurn: return "burn";
    case kKindNoDrive: return "no-drive";
    case kKindMountSelectedDrive: return "mount-drive";
    case kKindUnmountDrive: return "unmount";
    case kKindUnmountDriveGrayed: return "unmount-empty";
    case kKindUnmountAll: return "unmount-all";
    case kKindAutostart: return "autostart";
    case kKindAutomount: return "automount";
    case kKindConfiguration: return "configure-drives";
    case kKindMakeImage: return "make-image";
    case kKindInstallDrive: return "install-drive";
    case kKindOpenOrRun: return "open-or-run";
    default: break;
    }
    if (kind >= kKindMountFirst && kind <= kKindMountLast) return "mount-" + std::to_string(kind - kKindMountFirst);
    if (kind >= kKindDriveCountFirst && kind <= kKindDriveCountLast)
        return "drives-" + std::to_string(kind - kKindDriveCountFirst);
    return {};
}

}  // namespace shellext
