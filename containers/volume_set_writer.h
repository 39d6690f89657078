#pragma once
// The files of a volume set being written (MZP, XDI and DAA output): bytes
// appended run into volume 0 up to the volume size, then on into new volumes,
// each opened through the caller's opener under its final name and begun with
// the header area its format gives; bytes already written are rewritten by
// their offset in the set's joint address space. Unsplit output is the same
// with one file and no limit.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace containers {

// Opens a new output file for a volume's final name (the caller owns it and
// makes it appear under that name only when the save succeeds).
using VolumeOpener = std::function<platform::FileHandle(std::u16string_view finalPath)>;

struct OutputVolume {
    std::u16string path;
    platform::FileHandle file = nullptr;   // owned by the opener's caller
    uint64_t size = 0;                     // the end of what was written
};

// An exact write into a volume at a file offset; its size follows the end.
bool WriteVolumeAt(OutputVolume& volume, uint64_t at, const uint8_t* bytes, size_t length);

struct VolumeSetLayout {
    bool split = false;
    // Split output: bytes per volume file; 0 for no limit, where a volume
    // ends when its disk is full and the next one goes on (to another disk).
    uint64_t limit = 0;
    uint32_t maxVolumes = 1;
    // The header area in front of each later volume's share of the set.
    uint64_t laterAreaBytes = 0;
    // Room volume 0 keeps at its end for a trailer written when volume 1 opens.
    uint64_t firstTrailerBytes = 0;
    // Volume index's name; nothing when the name cannot be made.
    std::function<std::optional<std::u16string>(uint32_t index)> nameOf;
    // The header area a later volume begins with (laterAreaBytes long), written when it opens.
    std::function<std::vector<uint8_t>(uint32_t index)> laterArea;
    // Volume 0's trailer (firstTrailerBytes long), written when volume 1 opens.
    std::function<std::vector<uint8_t>()> firstTrailer;
};

class VolumeSetWriter {
public:
    // Opens volume 0 under firstPath; false when the opener gives no file.
    bool Open(std::u16string_view firstPath, VolumeOpener opener, VolumeSetLayout layout);
    // Appends at the end of the set, opening volumes as the limit asks. False
    // on a failed write, a name that cannot be made, or more volumes than the
    // style can number (the user is told; the last error text says why).
    bool Append(const uint8_t* bytes, size_t length);
    // Writes over bytes already appended, at an offset of the joint address space.
    bool Rewrite(uint64_t offset, const uint8_t* bytes, size_t length);
    // The bytes of the joint address space volume index holds.
    uint64_t Share(size_t index) const;

    std::vector<OutputVolume>& Volumes() { return volumes_; }
    const std::vector<OutputVolume>& Volumes() const { return volumes_; }

private:
    bool OpenNext();

    VolumeOpener opener_;
    VolumeSetLayout layout_;
    std::vector<OutputVolume> volumes_;
    bool firstTrailerWritten_ = false;
};

}  // namespace containers
