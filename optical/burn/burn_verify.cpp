// The verify pass after a burn.

#include "optical/burn/burn_verify.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "image/build/composed_image.h"
#include "image/document/image_context.h"
#include "image/sectors/audio_services.h"
#include "image/sectors/raw_sectors.h"
#include "image/sheets/track_list.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_log.h"
#include "optical/burn/burn_source_reader.h"
#include "optical/burn/system_awake.h"
#include "optical/drive/sector_reader.h"
#include "optical/scsi/drive_clock.h"

namespace optical {

namespace {

constexpr uint32_t kChunkSectors = 16;
constexpr uint32_t kReadPieceSectors = 256;   // a whole number of chunks

std::u16string RangeText(int id, const char16_t* fallback, int64_t first, int64_t last) {
    return platform::Format(u"%s(%s%d-%d)", foundation::GetLangString(uint32_t(id), fallback),
                            foundation::GetLangString(kStringSectorOffset, u"sector offset: "), first, last);
}

const image::TrackEntry* TrackAt(const BurnSourceReader& reader, int32_t track) {
    const image::ImageContext* ctx = reader.job ? reader.job->source : nullptr;
    if (!ctx || !ctx->trackList || track < 0 || track >= std::min(ctx->trackList->trackCount, image::kMaxTracks))
        return nullptr;
    return &ctx->trackList->tracks[size_t(track)];
}

size_t CountDifferences(const uint8_t* a, const uint8_t* b, size_t length) {
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) n += a[i] != b[i];
    return n;
}

// The status row's detail: the track's title for music, else the item the
// sector belongs to. Two buffers in turn, as the status compares pointers.
struct StatusNames {
    std::u16string names[2];
    int current = 0;
    const char16_t* Show(std::u16string name) {
        if (name == names[current]) return names[current].c_str();
        current ^= 1;
        names[current] = std::move(name);
        return names[current].c_str();
    }
};

std::u16string DetailFor(BurnSourceReader& reader, int32_t track, int64_t sector) {
    image::ImageContext* ctx = reader.job->source;
    const bool music = reader.sectorSize == int32_t(image::kRawSectorSize) &&
                       (track > 0 || ctx->formatCode == image::format_code::kAudioCd);
    if (music && ctx->trackList && track >= 0) {
        const image::TrackList& list = *ctx->trackList;
        const auto& detail = list.details[size_t(track) + 1];
        if (detail && !detail->texts[image::cdtext_slot::kTitle].empty())
            return detail->texts[image::cdtext_slot::kTitle];
        return list.tracks[size_t(track)].displayName;
    }
    if (ctx->composedImage.get() && sector >= 0 && sector <= INT32_MAX)
        return image::GetSectorOwnerName(*ctx, int32_t(sector));
    return {};
}

// The job's cancel flag is set: asks whether to abort. OK ends the pass as
// cancelled; Cancel clears the flag and the pass goes on.
bool AbortConfirmed(VerifyPass& pass) {
    const int answer = foundation::AppMessageBox(
        foundation::GetLangString(kStringVerifyAbortQuestion,
                                  u"Would you really like to abort the data verification process?"),
        foundation::kMbOkCancel | foundation::kMbIconQuestion);
    if (answer == foundation::kIdOk) {
        pass.cancelled = true;
        return true;
    }
    pass.job->cancel = false;
    return false;
}

}  // namespace

int CompareVerifyData(const BurnSourceReader& reader, int32_t track, const uint8_t* source, const uint8_t* disc,
                      size_t length) {
    if (std::memcmp(source, disc, length) == 0) return 0;
    if (reader.sectorSize != int32_t(image::kRawSectorSize) || track < 0) return 1;
    const image::TrackEntry* t = TrackAt(reader, track);
    if (!t) return 1;
    size_t offset;
    switch (t->mode) {
    case image::track_mode::kAudio:
        return 0;
    case image::track_mode::kMode1:
    case image::track_mode::kMode1Raw:
    case image::track_mode::kNrgData:
        offset = image::kMode1DataOffset;
        break;
    case image::track_mode::kMode2:
    case image::track_mode::kMode2Form1:
    case image::track_mode::kMode2Form2:
    case 7:
    case image::track_mode::kMode2Raw:
    case image::track_mode::kMode2Mixed:
        offset = image::kMode2Form1DataOffset;
        break;
    default:
        return 1;
    }
    bool equal = true;
    for (size_t at = 0; at + image::kRawSectorSize <= length && equal; at += image::kRawSectorSize)
        equal = std::memcmp(source + at + offset, disc + at + offset, image::kUserDataSize) == 0;
    if (equal) return 0;
    const bool mode2 = offset == image::kMode2Form1DataOffset;
    if (mode2 && track > 0 && CountDifferences(source, disc, length) * 20 <= length) return 0;
    return 1;
}

int VerifyRange(VerifyPass& pass, BurnSourceReader& reader, int32_t track, int64_t first, uint32_t count,
                int64_t progressBase, int64_t progressTotal, const uint8_t* preloaded) {
    const size_t unit = size_t(reader.sectorSize);
    const bool raw = unit == image::kRawSectorSize;
    std::vector<uint8_t> source(kReadPieceSectors * unit), disc(kReadPieceSectors * unit);
    StatusNames names;
    const std::u16string driveName = platform::Format(u"%c:", pass.job->driveLetter ? pass.job->driveLetter : u'?');
    // Both sides of `n` sectors from `sector` into the piece buffers at `at`.
    auto readBoth = [&](int64_t sector, uint32_t n, uint32_t at) {
        const int64_t last = sector + n - 1;
        uint8_t* src = source.data() + size_t(at) * unit;
        if (preloaded) {
            std::memcpy(src, preloaded + size_t(sector - first) * unit, size_t(n) * unit);
        } else if (!ReadBurnSource(reader, track < 0 ? 0 : track, sector, n, src)) {
            BurnLogString(true, RangeText(kStringVerifySourceError, u"Error reading source data.", sector, last));
            return false;
        }
        foundation::SectorReadRequest request;
        request.device = pass.drive;
        request.buffer = disc.data() + size_t(at) * unit;
        request.bufferBytes = uint64_t(n) * unit;
        request.lba = uint32_t(sector);
        request.count = n;
        request.raw = raw;
        request.mayPrompt = true;
        request.policy = 0;
        request.title = driveName;
        if (sector < 0 || optical::ReadSectorsWithRetry(request, nullptr) != 1) {
            BurnLogString(true, RangeText(kStringVerifyDiscError, u"Error reading data on disc.", sector, last));
            return false;
        }
        return true;
    };
    uint32_t done = 0;
    while (done < count) {
        // Large reads keep the drive streaming; the comparison, the questions
        // and a retry still go by chunks of 16 sectors.
        const uint32_t piece = std::min(kReadPieceSectors, count - done);
        const int64_t pieceFirst = first + done;
        if (pass.job->Cancelled() && AbortConfirmed(pass)) return 1;
        if (!readBoth(pieceFirst, piece, 0)) return 0;
        uint32_t at = 0;
        while (at < piece) {
            const uint32_t n = std::min(kChunkSectors, piece - at);
            const int64_t sector = pieceFirst + at;
            const int64_t last = sector + n - 1;
            KeepSystemAwake(true);
            BurnShowVerifyStatus(false, names.Show(DetailFor(reader, track, sector)));
            if (pass.job->Cancelled() && AbortConfirmed(pass)) return 1;
            const size_t offset = size_t(at) * unit;
            if (CompareVerifyData(reader, track, source.data() + offset, disc.data() + offset, size_t(n) * unit) != 0) {
                const std::u16string text =
                    RangeText(kStringVerifyMismatch, u"Error verifying data on disc.", sector, last);
                BurnLogString(true, text);
                const int answer = foundation::AskRetryOnError(text, std::nullopt);
                if (answer == foundation::kIdRetry) {
                    if (!readBoth(sector, n, at)) return 0;
                    continue;
                }
                if (answer != foundation::kIdIgnore) return 0;
                ++pass.ignoredMismatches;
            }
            at += n;
            BurnSetProgress(sector + n - first + progressBase, progressTotal);
        }
        done += piece;
    }
    return 1;
}

int VerifyDisc(platform::FileHandle h, BurnJob& job) {
    VerifyPass pass;
    pass.job = &job;
    pass.drive = h;
    BurnShowVerifyStatus(true, nullptr);
    DriveSleep(1000);
    if (job.face) job.face->SetCancelEnabled(true);

    BurnSourceReader reader;
    InitBurnSourceReader(reader, job, job.sectorSize);
    image::ImageContext& ctx = *job.source;
    image::TrackList* list = ctx.trackList;
    const int32_t tracks = list ? std::clamp(list->trackCount, 0, image::kMaxTracks) : 0;
    bool ok = true;

    if (reader.discCopy) {
        const image::TrackEntry& lastTrack = list->tracks[size_t(std::max(tracks - 1, 0))];
        const int64_t total = int64_t(lastTrack.startSector) + std::max(lastTrack.length, 0) + std::max(lastTrack.postgap, 0);
        for (int32_t i = 0; i < tracks && ok && !pass.cancelled; ++i) {
            const image::TrackEntry& t = list->tracks[size_t(i)];
            if (t.pregap > 0) BurnSetProgress(t.startSector, total);
            ok = VerifyRange(pass, reader, i, t.startSector, uint32_t(std::max(t.length, 0)), t.startSector, total,
                             nullptr) == 1;
            BurnSetProgress(int64_t(t.startSector) + std::max(t.length, 0) + std::max(t.postgap, 0), total);
        }
    } else if (job.sectorSize == 2048) {
        const int64_t start = job.sessionStart;
        const int64_t end = job.endSector;
        // The new head was written back to the start of the disc only on
        // overwritable media; only there is it compared.
        int64_t head = 0;
        if (job.appendSession && job.headMirrorWritten)
            head = std::min<int64_t>(ctx.preloadedHeadSectors, int64_t(ctx.preloadedHead.size() / 2048));
        const int64_t total = std::max<int64_t>(end - start, 0) + head;
        if (head > 0) ok = VerifyRange(pass, reader, -1, 0, uint32_t(head), 0, total, ctx.preloadedHead.data()) == 1;
        if (ok && !pass.cancelled && end > start)
            ok = VerifyRange(pass, reader, -1, start, uint32_t(end - start), head, total, nullptr) == 1;
    } else if (list) {
        const image::TrackEntry& lastTrack = list->tracks[size_t(std::max(tracks - 1, 0))];
        const int64_t total = int64_t(lastTrack.startSector) + std::max(lastTrack.length, 0) + std::max(lastTrack.postgap, 0);
        for (int32_t i = 0; i < tracks && ok && !pass.cancelled; ++i) {
            const image::TrackEntry& t = list->tracks[size_t(i)];
            const bool decoded = t.audioSourceKind == image::kAudioSourceDecoder;
            if (decoded && !OpenBurnMusicTrack(reader, *list, i)) {
                ok = false;
                break;
            }
            BurnSetProgress(t.startSector, total);
            ok = VerifyRange(pass, reader, i, t.startSector, uint32_t(std::max(t.length, 0)), t.startSector, total,
                             nullptr) == 1;
            BurnSetProgress(int64_t(t.startSector) + std::max(t.length, 0) + std::max(t.postgap, 0), total);
            if (decoded) image::CloseMusicDecoder();
        }
    } else {
        ok = VerifyRange(pass, reader, -1, 0, uint32_t(std::max(job.endSector, 0)), 0, job.endSector, nullptr) == 1;
    }

    if (pass.cancelled) {
        BurnLogString(false, foundation::GetLangString(kStringVerifyCancelled, u"Verifying cancelled."));
    } else if (!ok) {
        BurnLogString(true, foundation::GetLangString(kStringVerifyFailed, u"Verifying failed."));
    } else if (pass.ignoredMismatches > 0) {
        BurnLogString(true, foundation::GetLangString(kStringVerifyWithErrors, u"Verifying completed with errors."));
    } else {
        BurnLogString(false, foundation::GetLangString(kStringVerifySuccessful, u"Verifying successful."));
    }
    if (job.face) job.face->SetCancelEnabled(false);
    return pass.cancelled || ok ? 1 : 0;
}

}  // namespace optical
