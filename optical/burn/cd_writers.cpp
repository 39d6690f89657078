// The CD writers: every CD is written session-at-once from a cue sheet. One
// writer for 2048-byte data jobs, one for 2352-byte jobs (audio, mixed, Video
// CD) with CD-TEXT in the lead-in, one for disc copies that repeats the
// 2352-byte sequence per session of the source disc. Everything that can be
// checked is checked before the first WRITE.

#include <algorithm>
#include <cstring>

#include "foundation/language.h"
#include "image/document/image_context.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "optical/burn/burn_buffer.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_log.h"
#include "optical/burn/burn_ring_write.h"
#include "optical/burn/burn_writers.h"
#include "optical/burn/cd_cue_sheet.h"
#include "optical/drive/drive_speed.h"
#include "optical/mmc/mmc_commands.h"
#include "optical/scsi/scsi_command.h"

namespace optical {

namespace {

constexpr uint32_t kRawFrame = 2352;
constexpr uint32_t kLeadInUnit = 96;
constexpr uint32_t kChunk = 16;

uint32_t LastError() { return static_cast<uint32_t>(g_ScsiLastError); }

void LogFailed(int code) {
    BurnLog(true, u"%s (%d, %08x).", foundation::GetLangString(32580, u"Burning failed"), code, LastError());
}

void LogWriteError(int code, int64_t sector) {
    BurnLog(true, u"%s (%d-%08x %08x)", foundation::GetLangString(32460, u"Error writing data."), code,
            static_cast<uint32_t>(sector), LastError());
}

// Why CD-TEXT is left out: the drive's lack is told only for a drive that
// lacks it; a job without whole packs or a disc without a lead-in start says
// so instead.
enum class CdTextGap { Drive, Packs, LeadIn };

void LogCdTextIgnored(CdTextGap why) {
    switch (why) {
    case CdTextGap::Drive:
        BurnLogString(true, foundation::GetLangString(32390, u"The current drive does not support CD-Text."));
        break;
    case CdTextGap::Packs: BurnLogString(true, u"The job holds no whole CD-Text packs to write."); break;
    case CdTextGap::LeadIn: BurnLogString(true, u"The disc gives no lead-in start for CD-Text."); break;
    }
    BurnLogString(true, foundation::GetLangString(32400, u"The writing CD-Text shall be ignored."));
}

bool Synchronize(platform::FileHandle h) {
    BurnLogString(false, foundation::GetLangString(32510, u"Synchronizing cache..."));
    if (ScsiSynchronizeCache(h, true) && WaitUnitReady(h, 1800)) return true;
    BurnLogString(true, foundation::GetLangString(32520, u"Synchronizing cache failed."));
    return false;
}

// A failed or cancelled recording leaves a closed track the tools can read.
void CloseAfterFailure(platform::FileHandle h, uint16_t track) { ScsiCloseTrackSession(h, false, 1, track); }

// The next track number of an appendable disc (the empty track in its last session).
int NextTrackNumber(platform::FileHandle h) {
    uint8_t info[42] = {};
    uint32_t len = sizeof info;
    if (!ScsiReadDiscInfo(h, 0, info, len) || len < 12) return 1;
    int n = info[6] | info[11] << 8;
    return n >= 1 && n <= 99 ? n : 1;
}

// Gap frames of a track's mode for the sectors the ring does not bring (the
// session pregap) and for frames the ring left empty: a zero frame is no
// valid data sector.
uint8_t GapMode(uint8_t listMode) {
    namespace tm = image::track_mode;
    uint8_t sheet = CdSheetMode(listMode);
    if (sheet == 1) return tm::kAudio;
    if (sheet == 2) return tm::kMode1;
    return listMode == tm::kMode2Form2 ? tm::kMode2Form2 : tm::kMode2Form1;
}

void MakeGap(uint8_t gapMode, int64_t lba, uint8_t* frames, uint32_t count) {
    image::MakeGapFrames(gapMode, static_cast<int32_t>(lba), frames, static_cast<int32_t>(count));
}

void FillEmptyDataFrames(uint8_t gapMode, int64_t lba, uint8_t* frames, uint32_t count) {
    static const uint8_t kSync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* frame = frames + size_t(i) * kRawFrame;
        if (std::memcmp(frame, kSync, sizeof kSync) != 0) MakeGap(gapMode, lba + i, frame, 1);
    }
}

std::string CdTextOf(const image::TrackList& list, size_t slot) {
    const image::TrackDetail* d = slot < list.details.size() ? list.details[slot].get() : nullptr;
    return d ? d->ansiTexts[image::cdtext_slot::kUpcIsrc] : std::string();
}

// Writes one planned session: the session pregap, then every track's
// sectors from the ring. Logs its own failure with the location code.
int WritePlannedSession(platform::FileHandle h, ReadAheadBuffer* buffer, BurnJob& job, const image::TrackList& list,
                        const CdSessionPlan& plan, int pregapCode, int writeCode) {
    const CdTrackPlan& head = plan.tracks.front();
    const uint8_t headGap = GapMode(list.tracks[size_t(head.listIndex)].mode);
    int64_t failed = 0;
    BurnShowWritingStatus(true, nullptr);
    const int64_t pregapFrames = head.first - plan.pregapStart;
    if (pregapFrames > 0 &&
        !WriteGenerated(h, job, plan.pregapStart, uint32_t(pregapFrames), kRawFrame, kChunk,
                        [&](int64_t lba, uint8_t* data, uint32_t n) { MakeGap(headGap, lba, data, n); }, failed)) {
        if (failed < 0) LogBurnCancelled();
        else BurnLog(true, u"%s (%d-%08x)", foundation::GetLangString(32460, u"Error writing data."), pregapCode,
                     static_cast<uint32_t>(failed));
        CloseAfterFailure(h, 0);
        return 0;
    }
    const int64_t total = plan.leadOut - head.first;
    for (const CdTrackPlan& t : plan.tracks) {
        const uint8_t listMode = list.tracks[size_t(t.listIndex)].mode;
        RingWrite w;
        w.h = h;
        w.buffer = buffer;
        w.job = &job;
        w.sectorSize = kRawFrame;
        w.chunk = kChunk;
        if (t.mode != 1) {
            const uint8_t gap = GapMode(listMode);
            w.fix = [gap](int64_t lba, uint8_t* data, uint32_t n) { FillEmptyDataFrames(gap, lba, data, n); };
        }
        w.progressBase = t.first - head.first;
        w.progressTotal = total;
        g_WritingLeadIn = t.mode == 1;
        RingWriteResult r = WriteFromRing(w, t.first, uint32_t(t.end - t.first), failed);
        g_WritingLeadIn = false;
        if (r == RingWriteResult::Written) continue;
        if (r == RingWriteResult::WriteFailed) LogWriteError(writeCode, failed);
        if (r == RingWriteResult::Cancelled) LogBurnCancelled();
        CloseAfterFailure(h, uint16_t(t.number));
        return 0;
    }
    return Synchronize(h) ? 1 : 0;
}

// The lead-in start from the disc information (bytes 17..19, MSF); false when
// it does not lie in 90:00:00..99:59:74, where a lead-in can start.
bool ReadLeadInStart(platform::FileHandle h, int32_t& leadInStart, bool& readFailed) {
    uint8_t info[42] = {};
    uint32_t len = sizeof info;
    readFailed = !ScsiReadDiscInfo(h, 0, info, len) || len < 20;
    if (readFailed) return false;
    if (info[17] < 90 || info[17] > 99 || info[18] >= 60 || info[19] >= 75) return false;
    leadInStart = (int32_t(info[17]) * 60 + info[18]) * 75 + info[19] - 450150;
    return true;
}

// CD-TEXT for the job: the drive reads it, the lead-in has a start, the pack
// block is whole units. Turned off with the two notices otherwise; false only
// when a query failed (the job stops).
bool PrepareCdText(platform::FileHandle h, const image::TrackList& list, bool& cdText, int32_t& leadInStart) {
    if (!cdText) return true;
    int readable = CanReadCdText(h);
    if (readable < 0) {
        BurnLogString(true, foundation::GetLangString(32150, u"Error reading drive information."));
        return false;
    }
    if (readable != 1) {
        LogCdTextIgnored(CdTextGap::Drive);
        cdText = false;
        return true;
    }
    bool readFailed = false;
    const bool leadIn = ReadLeadInStart(h, leadInStart, readFailed);
    if (readFailed) {
        BurnLogString(true, foundation::GetLangString(32160, u"Error reading media information."));
        return false;
    }
    const bool packs = !list.rwSubchannel.empty() && list.rwSubchannel.size() % kLeadInUnit == 0;
    if (!leadIn || !packs) {
        LogCdTextIgnored(leadIn ? CdTextGap::Packs : CdTextGap::LeadIn);
        cdText = false;
    }
    return true;
}

CdCueOptions CueOptions(const image::TrackList& list, const CdSessionPlan& plan, bool cdText, bool audioCtl) {
    CdCueOptions o;
    o.cdText = cdText;
    o.audioCtl = audioCtl;
    if (!cdText) return o;
    o.catalog = CdTextOf(list, 0);
    if (!o.catalog.empty() && !IsCatalogNumber(o.catalog))
        BurnLog(true, u"The catalog number \"%hs\" is not 13 digits; it is not written.", o.catalog.c_str());
    for (const CdTrackPlan& t : plan.tracks) {
        std::string code = CdTextOf(list, size_t(t.listIndex) + 1);
        if (!code.empty() && !IsIsrc(code))
            BurnLog(true, u"The ISRC \"%hs\" of track %d is not 12 letters or digits; it is not written.",
                    code.c_str(), t.number);
        o.isrc.push_back(code);
    }
    return o;
}

bool SendSheet(platform::FileHandle h, std::vector<uint8_t>& sheet, int code) {
    uint32_t len = uint32_t(sheet.size());
    if (ScsiSendCueSheet(h, sheet.data(), len)) return true;
    BurnLog(true, u"%s(%d, %08x)", foundation::GetLangString(32580, u"Burning failed"), code, LastError());
    return false;
}

bool WriteLeadIn(platform::FileHandle h, const image::TrackList& list, int32_t leadInStart, bool mixed, int code) {
    BurnLogString(false, u"Writting Audio CD-Text...");
    if (WriteCdTextLeadIn(h, list, leadInStart)) return true;
    // Some drives refuse the lead-in of a mixed disc: then it goes without CD-TEXT.
    if (mixed && (g_ScsiLastSenseCode & 0xFFFFFF) == 0x052400) return true;
    LogWriteError(code, leadInStart);
    return false;
}

bool HasMixedModes(const CdSessionPlan& plan) {
    bool audio = false, data = false;
    for (const CdTrackPlan& t : plan.tracks) (t.mode == 1 ? audio : data) = true;
    return audio && data;
}

}  // namespace

int SetCdWriteParameters(platform::FileHandle h, bool testWrite, uint8_t writeType, uint8_t multiSession,
                         uint8_t dataBlockType, uint8_t sessionFormat) {
    std::vector<uint8_t> page;
    if (!ReadModePage(h, 0x05, 0, page)) return 0;
    // A page shorter than the fields set below is refused instead of written past.
    if (page.size() < 10 + 0x32 || page[9] < 0x32 || size_t(page[9]) + 10 > page.size()) return 0;
    page[0] = page[1] = 0;
    std::fill(page.begin() + 3, page.begin() + 8, 0);
    uint8_t* p = page.data() + 8;
    p[1] = static_cast<uint8_t>(page.size() - 10);
    p[2] = static_cast<uint8_t>((p[2] & 0xC0) | 0x40 | (testWrite ? 0x10 : 0) | (writeType & 0x0F));
    p[3] = static_cast<uint8_t>(multiSession << 6 | 4);
    p[4] = static_cast<uint8_t>((p[4] & 0xF0) | (dataBlockType & 0x0F));
    p[8] = sessionFormat;
    p[16] &= 0x7F;
    p[32] &= 0x7F;
    uint32_t len = uint32_t(page.size());
    if (ScsiModeSelect10(h, page.data(), len)) return 1;
    p[2] &= static_cast<uint8_t>(~0x40);
    len = uint32_t(page.size());
    return ScsiModeSelect10(h, page.data(), len);
}

int WriteCdTextLeadIn(platform::FileHandle h, const image::TrackList& trackList, int32_t leadInStart) {
    const std::vector<uint8_t>& block = trackList.rwSubchannel;
    const int64_t count = -int64_t(leadInStart) - 150;
    if (count <= 0 || block.empty() || block.size() % kLeadInUnit != 0) return 0;
    g_WritingLeadIn = true;
    std::vector<uint8_t> units(size_t(kChunk) * kLeadInUnit);
    size_t at = 0;
    int64_t done = 0;
    int ok = 1;
    while (done < count) {
        const uint32_t n = uint32_t(std::min<int64_t>(kChunk, count - done));
        for (uint32_t u = 0; u < n; ++u) {
            std::memcpy(units.data() + size_t(u) * kLeadInUnit, block.data() + at, kLeadInUnit);
            at = (at + kLeadInUnit) % block.size();
        }
        if (!ScsiWrite10(h, uint32_t(leadInStart + done), units.data(), n * kLeadInUnit, kLeadInUnit)) {
            ok = 0;
            break;
        }
        done += n;
    }
    g_WritingLeadIn = false;
    return ok;
}

int WriteDataCd(platform::FileHandle h, ReadAheadBuffer* buffer, int32_t endSector, BurnJob& job) {
    const int64_t start = job.sessionStart;
    const int64_t data = int64_t(endSector) - start;
    if (data <= 0) {
        LogFailed(cd_code::kDataCueSheet);
        return 0;
    }
    const int64_t padding = data + 2 < 300 ? 300 - data : 2;
    const int64_t sectors = data + padding;
    if (!SetCdWriteParameters(h, job.testWrite, 2, job.finalize ? 0 : 3, 8, 0)) {
        LogFailed(cd_code::kDataParameters);
        return 0;
    }
    const int number = job.appendSession ? NextTrackNumber(h) : 1;
    if (!CheckNextWritableAddress(h, 255, true, uint32_t(start), uint32_t(sectors))) return 0;
    std::vector<uint8_t> sheet = BuildDataCueSheet(start, sectors, number);
    if (!SendSheet(h, sheet, cd_code::kDataCueSheet)) return 0;
    BurnShowWritingStatus(true, nullptr);
    int64_t failed = 0;
    if (!WriteGenerated(h, job, start - 150, 150, 2048, kChunk, nullptr, failed)) {
        if (failed < 0) LogBurnCancelled();
        else LogWriteError(cd_code::kDataPregap, failed);
        CloseAfterFailure(h, uint16_t(number));
        return 0;
    }
    RingWrite w;
    w.h = h;
    w.buffer = buffer;
    w.job = &job;
    w.sectorSize = 2048;
    w.chunk = kChunk;
    w.progressTotal = sectors;
    RingWriteResult r = WriteFromRing(w, start, uint32_t(sectors), failed);
    if (r != RingWriteResult::Written) {
        if (r == RingWriteResult::WriteFailed) LogWriteError(cd_code::kDataWrite, failed);
        if (r == RingWriteResult::Cancelled) LogBurnCancelled();
        CloseAfterFailure(h, uint16_t(number));
        return 0;
    }
    return Synchronize(h) ? 1 : 0;
}

int WriteAudioCd(platform::FileHandle h, ReadAheadBuffer* buffer, BurnJob& job) {
    const image::TrackList* list = job.source ? job.source->trackList : nullptr;
    if (!list) {
        LogFailed(cd_code::kAudioCueSheet);
        return 0;
    }
    bool cdText = job.writeCdText;
    int32_t leadInStart = 0;
    if (!PrepareCdText(h, *list, cdText, leadInStart)) return 0;
    CdSessionPlan plan;
    std::string why;
    if (!PlanCdSession(*list, 0, list->trackCount - 1, 0, 1, plan, why)) {
        BurnLog(true, u"%s (%d, %08x): %hs.", foundation::GetLangString(32580, u"Burning failed"),
                cd_code::kAudioCueSheet, 0u, why.c_str());
        return 0;
    }
    std::vector<uint8_t> sheet = BuildCdCueSheet(plan, CueOptions(*list, plan, cdText, true));
    const uint8_t sessionFormat = job.source->videoCdKind != 0 ? 0x20 : 0;
    if (!SetCdWriteParameters(h, job.testWrite, 2, job.finalize ? 0 : 3, 0, sessionFormat)) {
        LogFailed(cd_code::kAudioParameters);
        return 0;
    }
    if (!CheckNextWritableAddress(h, 255, true, 0, uint32_t(plan.leadOut))) return 0;
    if (!SendSheet(h, sheet, cd_code::kAudioCueSheet)) return 0;
    if (cdText && !WriteLeadIn(h, *list, leadInStart, HasMixedModes(plan), cd_code::kAudioLeadIn)) {
        CloseAfterFailure(h, 1);
        return 0;
    }
    return WritePlannedSession(h, buffer, job, *list, plan, cd_code::kAudioPregap, cd_code::kAudioWrite);
}

int CopyCdSessions(platform::FileHandle h, ReadAheadBuffer* buffer, BurnJob& job) {
    const image::TrackList* list = job.source ? job.source->trackList : nullptr;
    const int32_t count = list ? std::min(list->trackCount, image::kMaxTracks) : 0;
    if (count <= 0) {
        LogFailed(cd_code::kAudioCueSheet);
        return 0;
    }
    bool cdText = job.writeCdText;
    int32_t leadInStart = 0;
    if (!PrepareCdText(h, *list, cdText, leadInStart)) return 0;
    const int32_t lastSession = list->tracks[size_t(count - 1)].session;
    int32_t first = 0;
    while (first < count) {
        int32_t last = first;
        while (last + 1 < count && list->tracks[size_t(last + 1)].session == list->tracks[size_t(first)].session) ++last;
        const bool finalSession = list->tracks[size_t(first)].session == lastSession;
        const int64_t start = list->tracks[size_t(first)].startSector + 0;
        CdSessionPlan plan;
        std::string why;
        const int64_t sessionStart = first == 0 ? 0 : start;
        if (!PlanCdSession(*list, first, last, sessionStart, first + 1, plan, why)) {
            BurnLog(true, u"%s (%d, %08x): %hs.", foundation::GetLangString(32580, u"Burning failed"),
                    cd_code::kAudioCueSheet, 0u, why.c_str());
            return 0;
        }
        const bool withText = cdText && first == 0;
        std::vector<uint8_t> sheet = BuildCdCueSheet(plan, CueOptions(*list, plan, withText, false));
        const uint8_t multi = finalSession && list->discStatus == 2 ? 0 : 3;
        if (!SetCdWriteParameters(h, job.testWrite, 2, multi, 0, plan.xa ? 0x20 : 0)) {
            LogFailed(cd_code::kAudioParameters);
            return 0;
        }
        // The source session must start where this disc can take it.
        if (!CheckNextWritableAddress(h, 255, true, uint32_t(sessionStart), uint32_t(plan.leadOut - sessionStart)))
            return 0;
        if (!SendSheet(h, sheet, cd_code::kAudioCueSheet)) return 0;
        if (withText && !WriteLeadIn(h, *list, leadInStart, HasMixedModes(plan), cd_code::kCopyLeadIn)) {
            CloseAfterFailure(h, 0);
            return 0;
        }
        if (!WritePlannedSession(h, buffer, job, *list, plan, cd_code::kCopyWrite, cd_code::kCopyWrite)) return 0;
        first = last + 1;
    }
    return 1;
}

int WriteCdImage(platform::FileHandle h, ReadAheadBuffer* buffer, BurnJob& job) {
    if (!job.appendSession && !IsDiscBlank(h)) {
        BurnLogString(true, foundation::GetLangString(32350, u"Error verifying blank media."));
        return 0;
    }
    SetDriveSpeed(h, g_SpeedIndex.load(), job.mediaType, 0xFFFF, job.writeSpeed);
    ScsiSendOpcInfo(h);
    if (GetBurnBufferSectorSize(buffer) == int32_t(kRawFrame)) return WriteAudioCd(h, buffer, job);
    return WriteDataCd(h, buffer, job.endSector, job);
}

}  // namespace optical
