#pragma once
// Making an image file from the disc in an optical drive: the disc's layout
// read, every sector of its tracks copied with the retrying reader into a
// temporary beside the destination, renamed over it only when the copy is
// whole. A plain ISO holds the 2048-byte user data of a single data track; a
// BIN holds every track's raw 2352-byte frames with a CUE sheet beside it
// (with the disc's CD-TEXT). Sectors that could not be read become zeros and
// are counted: such an image never ends as a clean success.

#include <cstdint>
#include <functional>
#include <string>

namespace optical {

enum class MakeImageFormat : int32_t { Iso = 0, Bin = 1 };

// Language strings of the job.
constexpr int kStringReadMediaFailed = 32160;
constexpr int kStringDiscEmpty = 32790;
constexpr int kStringNeedBinMultiTrack = 32800;
constexpr int kStringNeedBinAudio = 32810;

struct MakeImageRequest {
    char16_t letter = 0;
    std::u16string destination;                        // the image file's final path
    MakeImageFormat format = MakeImageFormat::Iso;
    std::function<bool()> cancelled;                   // polled between chunks
    // Bytes done and total (sectors x 2352), after every chunk.
    std::function<void(uint64_t done, uint64_t total)> progress;
};

enum class MakeImageOutcome : int32_t {
    Done = 0,          // every sector read
    DoneWithLoss = 1,  // written, with lostSectors zero-filled
    Failed = 2,        // nothing left under the destination
    Cancelled = 3,     // nothing left under the destination
};

struct MakeImageResult {
    MakeImageOutcome outcome = MakeImageOutcome::Failed;
    uint32_t lostSectors = 0;
    std::u16string message;    // why it failed, or the lost-sector warning
};

// The whole job; runs on a worker thread (or the console). The drive and
// reader state it uses are reset at its start.
MakeImageResult MakeImageFromDisc(const MakeImageRequest& request);

// True when the disc needs the BIN format (several sessions or tracks, or
// audio). False too when the layout cannot be read.
bool DiscNeedsBinFormat(char16_t letter);

// The volume label of the disc in the drive (ISO 9660 primary descriptor),
// trailing blanks removed; empty when there is none or it cannot be read.
std::u16string ReadDiscLabel(char16_t letter);

// The image's file name for a disc label: one path component that no label
// can turn into another folder or a hidden or control-character name, with
// the format's extension; empty when nothing of the label is left.
std::u16string ImageFileNameForLabel(std::u16string_view label, MakeImageFormat format);

}  // namespace optical
