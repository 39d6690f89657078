// The burn source's sectors by number: a disc copy from the source drive or
// from its temporary file, an image document of 2048-byte sectors, or
// 2352-byte frames (audio, mixed, Video CD) through the track list.

#include "optical/burn/burn_source_reader.h"

#include <algorithm>
#include <cstring>

#include "foundation/language.h"
#include "image/build/composed_image.h"
#include "image/sectors/audio_services.h"
#include "image/document/image_context.h"
#include "image/sectors/raw_sectors.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_log.h"
#include "optical/drive/sector_reader.h"
#include "platform/file.h"

namespace optical {

namespace {

constexpr uint32_t kPieceSectors = 64;
constexpr int kStringErrorReadingImageData = 32750;

bool IsDataMode(uint8_t mode) { return mode != image::track_mode::kAudio && mode != image::track_mode::kNone; }

// The retry policy of a disc-copy read by its distance from the track's data:
// retries fall off away from the data on both sides.
int32_t RetryPolicy(const image::TrackList* list, int32_t track, int64_t first, uint32_t count) {
    if (!list || track < 0 || track >= std::min(list->trackCount, image::kMaxTracks)) return 0;
    const image::TrackEntry& t = list->tracks[size_t(track)];
    const int64_t dataStart = t.startSector;
    const int64_t dataEnd = int64_t(t.startSector) + std::max(t.length, 0);
    const int64_t last = first + int64_t(count) - 1;
    if (last < dataStart) return int32_t(std::min<int64_t>(dataStart - last, 1000));
    if (first >= dataEnd) return int32_t(std::min<int64_t>(first - dataEnd + 1, 1000));
    return 0;
}

// One piece of at most 64 sectors of a disc copy into the staging area;
// unreadable sectors are zeros and reported.
void ReadDiscCopyPiece(BurnSourceReader& reader, int32_t track, int64_t sector, uint32_t count) {
    image::ImageContext& ctx = *reader.job->source;
    const size_t unit = size_t(reader.readSize);
    uint8_t* staging = reader.staging.data();
    std::memset(staging, 0, size_t(count) * unit);
    if (reader.fromDrive) {
        auto readRun = [&](int64_t first, uint32_t n, uint8_t* into) {
            foundation::SectorReadRequest request;
            request.image = &ctx;
            request.trackList = ctx.trackList;
            request.device = ctx.sourceDriveHandle;
            request.buffer = into;
            request.bufferBytes = uint64_t(n) * unit;
            request.lba = uint32_t(first);
            request.count = n;
            request.raw = reader.readSize == int32_t(image::kRawSectorSize);
            request.mayPrompt = false;
            request.policy = RetryPolicy(ctx.trackList, track, first, n);
            return optical::ReadSectorsWithRetry(request, nullptr) == 1;
        };
        if (readRun(sector, count, staging)) return;
        // Find the sectors that really fail, so the good ones are kept.
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t* at = staging + size_t(i) * unit;
            if (!readRun(sector + i, 1, at)) {
                std::memset(at, 0, unit);
                ReportSourceReadError(reader, ReadErrorSource::SourceDisc, sector + i);
            }
        }
        return;
    }
    platform::FileHandle file = ctx.imageHandle.get();
    const uint64_t offset = uint64_t(sector) * unit;
    const size_t bytes = size_t(count) * unit;
    if (file && platform::FileReadAt(file, offset, staging, bytes) == int64_t(bytes)) return;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* at = staging + size_t(i) * unit;
        if (!file || platform::FileReadAt(file, offset + uint64_t(i) * unit, at, unit) != int64_t(unit)) {
            std::memset(at, 0, unit);
            ReportSourceReadError(reader, ReadErrorSource::TemporaryFile, sector + i);
        }
    }
}

int ReadDiscCopy(BurnSourceReader& reader, int32_t track, int64_t sector, uint32_t count, uint8_t* out) {
    const size_t outUnit = size_t(reader.sectorSize);
    const size_t inUnit = size_t(reader.readSize);
    uint32_t done = 0;
    while (done < count) {
        const uint32_t n = std::min(kPieceSectors, count - done);
        const int64_t first = sector + done;
        uint8_t* dest = out + size_t(done) * outUnit;
        ReadDiscCopyPiece(reader, track, first, n);
        const uint8_t* src = reader.staging.data();
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* in = src + size_t(i) * inUnit;
            uint8_t* to = dest + size_t(i) * outUnit;
            if (inUnit == outUnit) {
                std::memcpy(to, in, outUnit);
            } else if (outUnit == image::kRawSectorSize) {
                image::MakeMode2Form1Sector(int32_t(first + i), in, to);
            } else {
                // Byte 15 of a raw sector tells where its user data lies.
                const size_t at = in[15] == 2 ? image::kMode2Form1DataOffset : image::kMode1DataOffset;
                std::memcpy(to, in + at, image::kUserDataSize);
            }
        }
        done += n;
    }
    return 1;
}

bool IsComposedMixedFirstTrack(const image::ImageContext& ctx, int32_t track) {
    return track == 0 && ctx.composedImageMode != 0 && ctx.composedImage.get() != nullptr &&
           (ctx.mixedTracks != 0 || ctx.videoCdKind != 0) && ctx.trackList != nullptr;
}

bool ShortImageRead(BurnSourceReader& reader) {
    image::ImageContext& ctx = *reader.job->source;
    BurnLog(true, u"%s %s", foundation::GetLangString(kStringErrorReadingImageData, u"Error reading image data."),
            ctx.imagePath);
    return reader.job->ignoreReadErrors;
}

int ReadRawImage(BurnSourceReader& reader, int32_t track, int64_t sector, uint32_t count, uint8_t* out) {
    image::ImageContext& ctx = *reader.job->source;
    std::memset(out, 0, size_t(count) * image::kRawSectorSize);
    // Nothing lies before sector 0: those frames stay zero.
    if (sector < 0) {
        const uint32_t skip = uint32_t(std::min<int64_t>(-sector, count));
        out += size_t(skip) * image::kRawSectorSize;
        sector += skip;
        count -= skip;
    }
    if (count == 0) return 1;
    if (sector > INT32_MAX - int64_t(count)) return 0;
    if (IsComposedMixedFirstTrack(ctx, track)) {
        const image::TrackEntry& t = ctx.trackList->tracks[0];
        const int64_t dataEnd = int64_t(t.startSector) + std::max(t.length, 0);
        // A Video CD's data track keeps the length its video tracks were placed
        // after; the build may hold fewer sectors than that.
        const image::ComposedImage& composed = *ctx.composedImage.get();
        const int64_t builtEnd = std::min<int64_t>(dataEnd, int64_t(composed.sessionStart) + int64_t(composed.map.size()));
        const bool videoCd = ctx.videoCdKind != 0;
        const size_t unit = videoCd ? image::kRawSectorSize : image::kUserDataSize;
        reader.staging.resize(std::max(reader.staging.size(), size_t(kPieceSectors) * image::kRawSectorSize));
        uint32_t done = 0;
        while (done < count && sector + done < builtEnd) {
            const int32_t n = int32_t(std::min<int64_t>({int64_t(kPieceSectors), count - done, builtEnd - sector - done}));
            const int32_t first = int32_t(sector + done);
            uint8_t* dest = out + size_t(done) * image::kRawSectorSize;
            std::memset(reader.staging.data(), 0, size_t(n) * unit);
            const int32_t got = image::ReadImageSectors(ctx, first, reader.staging.data(), n);
            if (got < n && !ShortImageRead(reader)) return 0;
            for (int32_t i = 0; i < n; ++i) {
                const uint8_t* in = reader.staging.data() + size_t(i) * unit;
                uint8_t* to = dest + size_t(i) * image::kRawSectorSize;
                if (videoCd) {
                    std::memcpy(to, in, image::kRawSectorSize);
                } else {
                    image::MakeMode1Sector(first + i, in, to);
                }
            }
            done += uint32_t(n);
        }
        // The rest of the data track after the build: empty frames of its mode.
        if (done < count && sector + done < dataEnd) {
            const int32_t n = int32_t(std::min<int64_t>(count - done, dataEnd - sector - done));
            const uint8_t mode = videoCd ? image::track_mode::kMode2Form1 : image::track_mode::kMode1;
            if (image::MakeGapFrames(mode, int32_t(sector + done), out + size_t(done) * image::kRawSectorSize, n) != n)
                return 0;
            done += uint32_t(n);
        }
        // The data track's run-out after its data comes from the track list.
        if (done < count) {
            const int32_t rest = int32_t(count - done);
            if (image::ReadRawSectors(ctx, int32_t(sector + done), out + size_t(done) * image::kRawSectorSize, rest) <
                    rest &&
                !ShortImageRead(reader))
                return 0;
        }
        return 1;
    }
    const int32_t n = int32_t(count);
    if (image::ReadRawSectors(ctx, int32_t(sector), out, n) < n && !ShortImageRead(reader)) return 0;
    return 1;
}

int ReadCookedImage(BurnSourceReader& reader, int64_t sector, uint32_t count, uint8_t* out) {
    image::ImageContext& ctx = *reader.job->source;
    std::memset(out, 0, size_t(count) * image::kUserDataSize);
    if (sector < 0) {
        const uint32_t skip = uint32_t(std::min<int64_t>(-sector, count));
        out += size_t(skip) * image::kUserDataSize;
        sector += skip;
        count -= skip;
    }
    // Past the job's end the sectors are padding and stay zero.
    const int64_t end = reader.job->endSector;
    if (sector >= end || count == 0) return 1;
    const int32_t n = int32_t(std::min<int64_t>(count, end - sector));
    return image::ReadImageSectors(ctx, int32_t(sector), out, n) == n ? 1 : 0;
}

}  // namespace

void InitBurnSourceReader(BurnSourceReader& reader, BurnJob& job, int32_t sectorSize) {
    reader = BurnSourceReader{};
    reader.job = &job;
    reader.sectorSize = sectorSize;
    reader.discCopy = job.kind == BurnJobKind::DiscCopy;
    image::ImageContext* ctx = job.source;
    if (!reader.discCopy || !ctx) return;
    reader.fromDrive = ctx->discSource != 0 && ctx->sourceDriveHandle != nullptr;
    if (reader.fromDrive) {
        const bool cooked = ctx->trackList && ctx->trackList->cookedReadsOnly;
        reader.readSize = sectorSize == int32_t(image::kRawSectorSize) && !cooked ? sectorSize : 2048;
    } else {
        reader.readSize = ctx->outputFormat == 1 ? int32_t(image::kRawSectorSize) : 2048;
    }
    reader.staging.assign(size_t(kPieceSectors) * size_t(std::max(reader.readSize, sectorSize)), 0);
    // User data built into frames becomes Mode 2 Form 1: the tracks say so
    // before anything is built or sent.
    if (reader.readSize != sectorSize && sectorSize == int32_t(image::kRawSectorSize) && ctx->trackList) {
        image::TrackList& list = *ctx->trackList;
        for (int32_t i = 0; i < std::clamp(list.trackCount, 0, image::kMaxTracks); ++i)
            if (IsDataMode(list.tracks[size_t(i)].mode)) list.tracks[size_t(i)].mode = image::track_mode::kMode2;
    }
}

int ReadBurnSource(BurnSourceReader& reader, int32_t track, int64_t sector, uint32_t count, uint8_t* out) {
    if (!reader.job || !reader.job->source || !out) return 0;
    if (count == 0) return 1;
    if (reader.discCopy) {
        // Sectors before 0 are zero frames; nothing is read at a negative address.
        const size_t unit = size_t(reader.sectorSize);
        if (sector < 0) {
            const uint32_t skip = uint32_t(std::min<int64_t>(-sector, count));
            std::memset(out, 0, size_t(skip) * unit);
            out += size_t(skip) * unit;
            sector += skip;
            count -= skip;
            if (count == 0) return 1;
        }
        if (sector > int64_t(UINT32_MAX) - count) return 0;
        return ReadDiscCopy(reader, track, sector, count, out);
    }
    if (reader.sectorSize == int32_t(image::kRawSectorSize)) return ReadRawImage(reader, track, sector, count, out);
    return ReadCookedImage(reader, sector, count, out);
}

int OpenBurnMusicTrack(BurnSourceReader& reader, const image::TrackList& list, int32_t track) {
    if (track < 0 || track >= std::min(list.trackCount, image::kMaxTracks)) return 0;
    if (!reader.playerStopped) {
        image::StopPlayerForReading();
        reader.playerStopped = true;
    }
    const image::TrackEntry& t = list.tracks[size_t(track)];
    return image::OpenMusicDecoder(t.fileName, t.audioSourceKind, image::GetTrackSourceStart(&list, track));
}

void ReportSourceReadError(BurnSourceReader& reader, ReadErrorSource source, int64_t sector) {
    const bool disc = source == ReadErrorSource::SourceDisc;
    const char16_t* single = disc ? u"Error reading sector %d on the source disc."
                                  : u"Error reading sector %d in the temporary file.";
    const char16_t* run = disc ? u"Error reading sectors from %d to %d on the source disc."
                               : u"Error reading sectors from %d to %d in the temporary file.";
    if (reader.runSource == source && sector == reader.runLast + 1) {
        reader.runLast = sector;
        const std::u16string text = platform::Format(run, reader.runFirst, reader.runLast);
        // Another row came in between: the grown run gets a row of its own.
        if (!BurnLogReplaceRow(reader.runRow, true, text)) reader.runRow = BurnLogRow(true, text);
        return;
    }
    reader.runSource = source;
    reader.runFirst = reader.runLast = sector;
    reader.runRow = BurnLogRow(true, platform::Format(single, sector));
}

}  // namespace optical
