#pragma once
// Video CD (VCD 2.0) and Super Video CD: recognising such discs when an image
// is opened and marking their folders and track files in the item tree; and,
// for a Video CD project, building the file tree the ISO builder writes, with
// the control files (INFO, ENTRIES, LOT, PSD, TRACKS, SEARCH, SCANDATA) made in
// memory from the track list and each track's MPEG stream information.

#include <array>
#include <cstdint>
#include <vector>

#include "image/vcd/mpeg_info.h"

namespace foundation {
struct ProgressCallbacks;
}

namespace image {

struct ImageContext;
struct ImageItem;

namespace video_cd {
constexpr uint8_t kKindVcd = 1;
constexpr uint8_t kKindSvcd = 2;
// Source markers: the fixed sectors of the control files.
constexpr uint32_t kInfoSector = 150;
constexpr uint32_t kEntriesSector = 151;
constexpr uint32_t kLotSector = 152;
constexpr uint32_t kPsdSector = 184;
constexpr uint32_t kTracksSector = 185;
constexpr uint32_t kSearchSector = 186;
constexpr size_t kControlFileBytes = 2048;
constexpr size_t kLotBytes = 65536;
constexpr int32_t kTrackGapSectors = 300;   // the start offset of a track is counted from here
constexpr int32_t kMsfLeadIn = 150;
// The CD-ROM XA mark in the application-use field of the primary descriptor.
constexpr size_t kXaMarkerOffset = 1024;
inline constexpr char kXaMarker[] = "CD-XA001";   // 8 bytes, no terminator on disc
}  // namespace video_cd

// Recognises a Video CD or Super Video CD image: 1 (the document's Video CD
// kind is set to 1 until AttachVideoCdTracks tells which), else 0.
int DetectVideoCdLayout(ImageContext& ctx);
// Marks the folders, control files and track files of an opened Video CD and
// sets the kind (1 or 2) and the track modes.
void AttachVideoCdTracks(ImageContext& ctx);
// A Video CD is a CD-ROM XA disc: its primary descriptor carries the XA mark.
// Players and our own recognition look for it, so a built Video CD gets it
// too; a plain document's descriptor is left as it is.
void MarkVideoCdPrimaryDescriptor(const ImageContext& ctx, uint8_t* descriptor2048);
// True for a Video CD whose MPEG tracks come from a source disc image (no
// stream information of their own): a raw save can copy them as they are.
bool VideoCdTracksFromSource(const ImageContext& ctx);
// After the data track of a raw (2352-byte) save, which ended at dataEnd:
// fills the data track up to the first video track's gap and copies the MPEG
// tracks' frames from the source at their places. 1 done or nothing to do,
// 0 failed (OperationStatus set; a data track too long for the place the
// video tracks start at says so in the last error text).
int WriteVideoCdTrackFrames(ImageContext& ctx, int64_t dataEnd, foundation::ProgressCallbacks* progress);
// Rebuilds the folder tree of a Video CD project from its track list.
void BuildVcdFileTree(ImageContext& ctx);
// A Video CD document in whose track list some MPEG track has no information.
bool VcdTrackInfoMissing(const ImageContext& ctx);

// Content codes and formats.
int LookupMpegVideoFormat(const MpegVideoStream& stream);
bool IsPalVideoHeight(int32_t verticalSize);
int GetVcdVideoTypeCode(const MpegInfo& info);
int GetVcdAudioTypeCode(const MpegInfo& info, bool svcd);
int GetSvcdOgtTypeCode(const MpegInfo& info);

// Three BCD bytes minutes, seconds, frames (75 a second); 99:59:74 at most.
void LbaToBcdMsf(int64_t sector, uint8_t out[3]);
void SetBitmapBit(uint8_t* bytes, uint32_t bit);

int64_t GetVcdPsdSize(const ImageContext& ctx);
int64_t GetSearchDatSize(const ImageContext& ctx);
int64_t GetScanDataSize(const ImageContext& ctx);
double SumVcdTrackDurations(const ImageContext& ctx, int32_t count);
int64_t CountVcdScanPoints(const ImageContext& ctx);
// One sector per half second of the whole programme.
std::vector<int64_t> CollectScanSectors(const ImageContext& ctx, bool fromEndSector);

// The control files, as the bytes of the item (its memory data and size).
void BuildInfoFile(ImageContext& ctx, ImageItem& item, bool psdPresent, bool lotPresent);
void BuildEntriesFile(ImageContext& ctx, ImageItem& item);
void BuildLotFile(ImageContext& ctx, ImageItem& item);
void BuildPsdFile(ImageContext& ctx, ImageItem& item);
void BuildTracksFile(ImageContext& ctx, ImageItem& item);
void BuildSearchFile(ImageContext& ctx, ImageItem& item);
void BuildScanDataFile(ImageContext& ctx, ImageItem& item);

}  // namespace image
