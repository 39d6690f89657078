// 2352-byte frames for the burn engine: straight from a 2352-byte image, or
// through the track list, where each track's stretch of the disc falls into
// five zones: made-up pregap frames, pregap frames held in the file, the
// track's data, postgap frames held in the file, and made-up postgap frames.

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/sectors/audio_services.h"
#include "image/document/image_context.h"
#include "image/sectors/raw_sectors.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "foundation/optical_services.h"
#include "platform/file.h"

namespace image {
namespace {

enum class Zone { MadeUpPregap, StoredPregap, Data, StoredPostgap, MadeUpPostgap };

// Builds a frame from a 2048-byte sector by track mode; false for a mode that
// has no 2048-byte form.
bool BuildFrameFromUserData(uint8_t mode, int32_t sector, const uint8_t* data, uint8_t* out) {
    switch (mode) {
        case track_mode::kMode1:
        case track_mode::kMode1Raw:
        case track_mode::kNrgData:   // NRG data tracks are Mode 1
            MakeMode1Sector(sector, data, out);
            return true;
        case track_mode::kMode2:
        case track_mode::kMode2Form1:
        case track_mode::kMode2Raw:
            MakeMode2Form1Sector(sector, data, out);
            return true;
        case track_mode::kMode2Form2: {
            uint8_t form2[kForm2DataSize] = {};
            if (data != nullptr) std::memcpy(form2, data, kUserDataSize);
            MakeMode2Form2Sector(sector, 0, 0, kSubmodeForm2, 0, form2, out);
            return true;
        }
        default:
            return false;
    }
}

struct TrackZones {
    int64_t zone1Start, zone2Start, dataStart, dataEnd, zone4End, zone5End;
};

TrackZones ZonesOf(const TrackEntry& t) {
    const int64_t s = t.startSector;
    const int64_t p = std::max<int32_t>(t.pregap, 0);
    const int64_t q = std::max<int32_t>(t.pregapInFile, 0);
    const int64_t l = std::max<int32_t>(t.length, 0);
    const int64_t g = std::max<int32_t>(t.postgap, 0);
    const int64_t h = std::max<int32_t>(t.storedPostgap, 0);
    TrackZones z{};
    z.zone1Start = s - p;
    z.zone2Start = q > p ? s - p : s - q;   // zone 1 is empty when more is stored than the pregap
    z.dataStart = s;
    z.dataEnd = s + l;
    z.zone4End = s + l + std::min(h, g);
    z.zone5End = s + l + g;
    return z;
}

// Frames of one zone read from the track's source; the frames delivered.
int32_t ReadTrackZoneFrames(ImageContext& ctx, int32_t position, Zone zone, int64_t sector, uint8_t* out,
                            int32_t count) {
    TrackList& list = *ctx.trackList;
    const TrackEntry& t = list.tracks[size_t(position)];
    if (t.audioSourceKind == image::kAudioSourceDecoder) {
        // The decoded file holds the track's INDEX 01 at index01Position, and
        // its stored pregap and tail around it.
        const int64_t fileSector = int64_t(t.index01Position) + (sector - t.startSector);
        if (fileSector < 0) return 0;
        return image::ReadTrackSectors(&list, position, fileSector, out, uint32_t(count)) != 0 ? count : 0;
    }

    if (ctx.discSource) {
        foundation::SectorReadRequest request =
            DiscReadRequest(ctx, &list, out, uint32_t(sector), uint32_t(count), true);
        if (zone == Zone::StoredPregap) request.policy = int32_t(t.pregapInFile + sector - t.startSector + 1);
        if (zone == Zone::StoredPostgap) request.policy = int32_t(sector - t.length - t.startSector + 1);
        if (sector < 0) return 0;
        return foundation::ReadSectorsWithRetry(request, nullptr) == 1 ? count : 0;
    }

    platform::FileHandle file = t.fileHandle ? t.fileHandle.get() : ctx.imageHandle.get();
    const int64_t size = t.sectorSize;
    if (file == nullptr || size <= 0) return 0;
    // The values come from a sheet or an image header: any overflow means the
    // run cannot be in the file.
    int64_t offset = 0, runBytes = 0, runEnd = 0, beyond = 0;
    if (__builtin_mul_overflow(size, sector - t.startSector, &offset) ||
        __builtin_add_overflow(offset, t.dataOffset, &offset) || __builtin_mul_overflow(size, int64_t(count), &runBytes) ||
        __builtin_add_overflow(offset, runBytes, &runEnd) || __builtin_sub_overflow(runEnd, t.endOffset, &beyond))
        return 0;
    if (offset < 0 || offset >= t.endOffset || beyond >= size) return 0;
    const int64_t remaining = t.endOffset - offset;

    if (size == int64_t(kRawSectorSize)) {
        size_t want = size_t(count) * kRawSectorSize;
        if (remaining < int64_t(want)) {
            std::memset(out, 0, want);
            want = size_t(remaining);
        }
        return platform::FileReadAt(file, uint64_t(offset), out, want) == int64_t(want) ? count : 0;
    }
    if (size != int64_t(kUserDataSize) && size != int64_t(kMode2DataSize)) return 0;   // 2448 and others
    uint8_t stored[kMode2DataSize];
    for (int32_t i = 0; i < count; ++i) {
        const int64_t at = offset + size * i;
        const int64_t left = t.endOffset - at;
        size_t want = size_t(size);
        if (left < size) {
            std::memset(stored, 0, sizeof stored);
            want = left > 0 ? size_t(left) : 0;
        }
        if (want > 0 && platform::FileReadAt(file, uint64_t(at), stored, want) != int64_t(want)) return i;
        uint8_t* frame = out + size_t(i) * kRawSectorSize;
        const int32_t frameSector = int32_t(sector + i);
        if (size == int64_t(kMode2DataSize)) {
            MakeMode2Sector(frameSector, stored, frame);
        } else if (!BuildFrameFromUserData(t.mode, frameSector, stored, frame)) {
            return i;
        }
    }
    return count;
}

// Walks the tracks for one piece of frames; the frames delivered.
int32_t ReadTrackFrames(ImageContext& ctx, int64_t first, uint8_t* buffer, int32_t count) {
    TrackList& list = *ctx.trackList;
    const int32_t tracks = std::clamp(list.trackCount, 0, kMaxTracks);
    int32_t got = 0;
    int64_t sector = first;
    int32_t position = 0;
    while (got < count) {
        while (position < tracks && sector >= ZonesOf(list.tracks[size_t(position)]).zone5End) ++position;
        if (position >= tracks) break;
        const TrackEntry& t = list.tracks[size_t(position)];
        const TrackZones z = ZonesOf(t);
        if (sector < z.zone1Start) break;
        Zone zone;
        int64_t zoneEnd;
        if (sector < z.zone2Start) {
            zone = Zone::MadeUpPregap;
            zoneEnd = z.zone2Start;
        } else if (sector < z.dataStart) {
            zone = Zone::StoredPregap;
            zoneEnd = z.dataStart;
        } else if (sector < z.dataEnd) {
            zone = Zone::Data;
            zoneEnd = z.dataEnd;
        } else if (sector < z.zone4End) {
            zone = Zone::StoredPostgap;
            zoneEnd = z.zone4End;
        } else {
            zone = Zone::MadeUpPostgap;
            zoneEnd = z.zone5End;
        }
        const int32_t want = int32_t(std::min<int64_t>(count - got, zoneEnd - sector));
        uint8_t* out = buffer + size_t(got) * kRawSectorSize;
        const int32_t read = (zone == Zone::MadeUpPregap || zone == Zone::MadeUpPostgap)
                                 ? MakeGapFrames(t.mode, int32_t(sector), out, want)
                                 : ReadTrackZoneFrames(ctx, position, zone, sector, out, want);
        got += read;
        sector += read;
        if (read < want) break;
    }
    return got;
}

}  // namespace

int32_t MakeGapFrames(uint8_t mode, int32_t first, uint8_t* buffer, int32_t count) {
    if (count <= 0) return 0;
    std::memset(buffer, 0, size_t(count) * kRawSectorSize);
    if (mode == track_mode::kAudio) return count;   // silence
    for (int32_t i = 0; i < count; ++i)
        if (!BuildFrameFromUserData(mode, int32_t(uint32_t(first) + uint32_t(i)), nullptr,
                                    buffer + size_t(i) * kRawSectorSize))
            return 0;
    return count;
}

int32_t ReadRawFrames(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    if (count <= 0 || ctx.sectorSize != int32_t(kRawSectorSize)) return 0;
    const int64_t offset = int64_t(first) * int64_t(kRawSectorSize) + ctx.dataOffset;
    const size_t bytes = size_t(count) * kRawSectorSize;
    if (offset < 0 || ctx.imageHandle == nullptr) return 0;
    return platform::FileReadAt(ctx.imageHandle.get(), uint64_t(offset), buffer, bytes) == int64_t(bytes) ? count : 0;
}

int32_t ReadRawSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    if (buffer == nullptr || count <= 0) return 0;
    if (ctx.trackList == nullptr) return ReadRawFrames(ctx, first, buffer, count);
    int32_t done = 0;
    while (done < count) {
        const int32_t piece = std::min<int32_t>(kRawFramePiece, count - done);
        const int32_t read = ReadTrackFrames(ctx, int64_t(first) + done, buffer + size_t(done) * kRawSectorSize, piece);
        done += read;
        if (read < piece) break;
    }
    return done;
}

}  // namespace image
