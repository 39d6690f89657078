// The control files of a Video CD project, made in memory from the track list
// and each MPEG track's stream information (all fields big-endian, times as
// BCD minutes, seconds and frames of 75 a second).

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/byte_cursor.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sheets/track_list.h"
#include "image/vcd/video_cd.h"

namespace image {
namespace {

using namespace video_cd;

struct VideoFormatRow {
    int code;
    int32_t horizontal;
    int32_t vertical;
    double rate;
};
const VideoFormatRow kVideoFormats[] = {
    {3, 352, 240, 24000.0 / 1001},
    {1, 352, 288, 25.0},
    {2, 352, 240, 30000.0 / 1001},
    {4, 480, 576, 25.0},
    {5, 480, 480, 30000.0 / 1001},
};

constexpr int64_t kMaxMsfSector = int64_t(99) * 4500 + 59 * 75 + 74;
// Scan points come two a second; a project is at most a few hours.
constexpr int64_t kMaxScanPoints = 1 << 20;

uint8_t Bcd(int64_t v) { return uint8_t(((v / 10) % 10) << 4 | (v % 10)); }

int32_t TrackCount(const ImageContext& ctx) {
    return ctx.trackList ? std::clamp(ctx.trackList->trackCount, 0, kMaxTracks) : 0;
}

// The stream information of MPEG track i (list track i + 1), or null.
const MpegInfo* Info(const ImageContext& ctx, int32_t i) {
    if (!ctx.trackList || i < 0 || i + 1 >= TrackCount(ctx)) return nullptr;
    return ctx.trackList->tracks[size_t(i) + 1].mpegInfo.get();
}

int32_t MpegTracks(const ImageContext& ctx) { return std::max(TrackCount(ctx) - 1, 0); }

bool Svcd(const ImageContext& ctx) { return ctx.videoCdKind == kKindSvcd; }

// A playing time as MSF of its whole seconds with the fraction in frames.
void SecondsToMsf(double seconds, uint8_t out[3]) {
    if (!(seconds >= 0)) seconds = 0;
    const int64_t whole = int64_t(seconds);
    if (whole >= 6000) {
        // The form has no room for 100 minutes or more: the longest it holds.
        out[0] = Bcd(99), out[1] = Bcd(59), out[2] = Bcd(74);
        return;
    }
    out[0] = Bcd(whole / 60);
    out[1] = Bcd(whole % 60);
    out[2] = Bcd(std::min<int64_t>(int64_t(std::floor((seconds - double(whole)) * 75)), 74));
}

void SetItemBytes(ImageItem& item, std::vector<uint8_t> bytes, uint32_t marker) {
    item.size = int64_t(bytes.size());
    item.memoryData = std::move(bytes);
    item.sourceMarker = marker;
    foundation::ByteWriter header(item.recordHeader.data(), item.recordHeader.size());
    header.Both32(dr::kDataLength, uint32_t(item.size));
}

std::vector<int64_t> PickHalfSeconds(const std::vector<std::pair<double, int64_t>>& entries, int64_t points) {
    std::vector<int64_t> out;
    if (entries.empty()) return out;
    size_t at = 0;
    for (int64_t k = 0; k < points; ++k) {
        const double t = double(k) / 2;
        // A tie goes to the later picture, as the discs players know do it.
        while (at + 1 < entries.size() && std::fabs(entries[at + 1].first - t) <= std::fabs(entries[at].first - t))
            ++at;
        out.push_back(entries[at].second);
    }
    return out;
}

int64_t HalfSecondPoints(double seconds) {
    if (!(seconds > 0)) return 0;
    return std::min<int64_t>(int64_t(std::ceil(seconds * 2)), kMaxScanPoints);
}

// The scan points of one MPEG track, for SCANDATA.DAT.
std::vector<int64_t> ListTrackScanSectors(const ImageContext& ctx, int32_t i) {
    const MpegInfo* info = Info(ctx, i);
    if (!info) return {};
    std::vector<std::pair<double, int64_t>> entries;
    for (const MpegScanEntry& e : info->scanEntries)
        entries.emplace_back(e.seconds,
                             int64_t(e.sector) + info->startOffset + info->secondOffset + kTrackGapSectors);
    return PickHalfSeconds(entries, HalfSecondPoints(info->playingSeconds));
}

}  // namespace

int LookupMpegVideoFormat(const MpegVideoStream& stream) {
    for (const VideoFormatRow& row : kVideoFormats) {
        if (row.horizontal == stream.horizontalSize && row.vertical == stream.verticalSize && row.rate == stream.frameRate)
            return row.code;
    }
    return 0;
}

bool IsPalVideoHeight(int32_t verticalSize) { return verticalSize == 288 || verticalSize == 576; }

int GetVcdVideoTypeCode(const MpegInfo& info) {
    static constexpr std::pair<int, int> kOrder[] = {{0, 3}, {2, 2}, {1, 1}};
    for (auto [index, code] : kOrder) {
        const MpegVideoStream& v = info.video[size_t(index)];
        if (v.present) return code + (IsPalVideoHeight(v.verticalSize) ? 4 : 0);
    }
    return 0;
}

int GetVcdAudioTypeCode(const MpegInfo& info, bool svcd) {
    if (!info.audioPresent) return 0;
    if (svcd) return info.multichannelAudio ? 3 : info.secondAudio ? 2 : 1;
    switch (info.audioMode) {
    case 1:
    case 2: return 2;
    case 3: return 3;
    case 4: return 1;
    default: return 0;
    }
}

int GetSvcdOgtTypeCode(const MpegInfo& info) {
    const bool s0 = info.subtitles[0], s1 = info.subtitles[1];
    if (info.subtitles[2] || info.subtitles[3]) {
        if (s1) return s0 ? 3 : 0;
        return s0 ? 1 : 0;
    }
    if (s1 && s0) return 2;
    return s0 ? 1 : 0;
}

void LbaToBcdMsf(int64_t sector, uint8_t out[3]) {
    // Minutes have two BCD digits: 100 minutes and more cannot be written.
    sector = std::clamp<int64_t>(sector, 0, kMaxMsfSector);
    out[0] = Bcd(sector / 4500);
    out[1] = Bcd((sector / 75) % 60);
    out[2] = Bcd(sector % 75);
}

void SetBitmapBit(uint8_t* bytes, uint32_t bit) { bytes[bit / 8] |= uint8_t(1u << (bit % 8)); }

bool VcdTrackInfoMissing(const ImageContext& ctx) {
    if (ctx.videoCdKind == 0 || !ctx.trackList) return false;
    for (int32_t i = 0; i < MpegTracks(ctx); ++i)
        if (!Info(ctx, i)) return true;
    return false;
}

int64_t GetVcdPsdSize(const ImageContext& ctx) { return std::max<int64_t>(16 * int64_t(TrackCount(ctx)) - 8, 8); }

double SumVcdTrackDurations(const ImageContext& ctx, int32_t count) {
    double sum = 0;
    for (int32_t i = 0; i < std::min(count, MpegTracks(ctx)); ++i)
        if (const MpegInfo* info = Info(ctx, i); info && info->playingSeconds > 0) sum += info->playingSeconds;
    return sum;
}

int64_t CountVcdScanPoints(const ImageContext& ctx) {
    return HalfSecondPoints(SumVcdTrackDurations(ctx, MpegTracks(ctx)));
}

// SEARCH.DAT's header is 13 bytes (id, version, reserved, count, interval);
// the scan points follow it directly, where players read them.
constexpr int64_t kSearchHeaderBytes = 13;

int64_t GetSearchDatSize(const ImageContext& ctx) {
    if (VcdTrackInfoMissing(ctx)) return kSearchHeaderBytes;
    return kSearchHeaderBytes + 3 * CountVcdScanPoints(ctx);
}

int64_t GetScanDataSize(const ImageContext& ctx) {
    int64_t points = 0;
    if (!VcdTrackInfoMissing(ctx))
        for (int32_t i = 0; i < MpegTracks(ctx); ++i) points += int64_t(ListTrackScanSectors(ctx, i).size());
    // The file ends with the last scan point, at 6n + 12 + 3 points.
    return 6 * int64_t(TrackCount(ctx)) + 12 + 3 * points;
}

std::vector<int64_t> CollectScanSectors(const ImageContext& ctx, bool fromEndSector) {
    std::vector<std::pair<double, int64_t>> entries;
    double before = 0;
    for (int32_t i = 0; i < MpegTracks(ctx); ++i) {
        const MpegInfo* info = Info(ctx, i);
        if (!info) continue;
        const int64_t base =
            int64_t(info->startOffset) + (fromEndSector ? ctx.endSector : kTrackGapSectors) + info->secondOffset;
        for (const MpegScanEntry& e : info->scanEntries) entries.emplace_back(e.seconds + before, int64_t(e.sector) + base);
        if (info->playingSeconds > 0) before += info->playingSeconds;
    }
    return PickHalfSeconds(entries, CountVcdScanPoints(ctx));
}

void BuildInfoFile(ImageContext& ctx, ImageItem& item, bool psdPresent, bool lotPresent) {
    std::vector<uint8_t> b(kControlFileBytes, 0);
    foundation::ByteWriter w(b);
    const bool svcd = Svcd(ctx);
    if (!VcdTrackInfoMissing(ctx)) {
        w.Put(0, svcd ? "SUPERVCD" : "VIDEO_CD", 8);
        w.U8(8, svcd ? 1 : 2);
        w.U8(9, 0);
        w.Fill(10, ' ', 16);
        w.Be16(26, 1);
        w.Be16(28, 1);
        for (int32_t i = 0; i < MpegTracks(ctx) && i < 98; ++i) {
            const MpegInfo* info = Info(ctx, i);
            const int format = info ? LookupMpegVideoFormat(info->video[0]) : 0;
            if (info && (format == 1 || format == 4 || IsPalVideoHeight(info->video[0].verticalSize)))
                SetBitmapBit(b.data() + 30, uint32_t(i));
        }
        if (psdPresent) {
            w.Be32(44, uint32_t(GetVcdPsdSize(ctx)));
            w.U8(51, 8);
        }
        if (lotPresent) w.Be16(52, uint16_t(TrackCount(ctx)));
        w.Be16(54, 0);
    }
    SetItemBytes(item, std::move(b), kInfoSector);
}

void BuildEntriesFile(ImageContext& ctx, ImageItem& item) {
    std::vector<uint8_t> b(kControlFileBytes, 0);
    foundation::ByteWriter w(b);
    if (!VcdTrackInfoMissing(ctx)) {
        // Both kinds say "ENTRYVCD": players look for that.
        w.Put(0, "ENTRYVCD", 8);
        w.U8(8, Svcd(ctx) ? 1 : 2);
        w.U8(9, 0);
        w.Be16(10, uint16_t(MpegTracks(ctx)));
        for (int32_t i = 0; i < MpegTracks(ctx) && 12 + 4 * size_t(i) + 4 <= b.size(); ++i) {
            const MpegInfo* info = Info(ctx, i);
            const int64_t s = int64_t(info ? info->startOffset : 0) + kTrackGapSectors;
            uint8_t msf[3];
            LbaToBcdMsf(s + kMsfLeadIn, msf);
            w.U8(12 + 4 * size_t(i), Bcd(i + 2));
            w.Put(13 + 4 * size_t(i), msf, 3);
        }
    }
    SetItemBytes(item, std::move(b), kEntriesSector);
}

void BuildLotFile(ImageContext& ctx, ImageItem& item) {
    std::vector<uint8_t> b(kLotBytes, 0xFF);
    foundation::ByteWriter w(b);
    if (!VcdTrackInfoMissing(ctx)) {
        w.Be16(0, 0);
        for (int32_t k = 0; k < TrackCount(ctx); ++k) w.Be16(2 + 2 * size_t(k), uint16_t(2 * k));
    } else {
        std::fill(b.begin(), b.end(), 0);
    }
    SetItemBytes(item, std::move(b), kLotSector);
}

void BuildPsdFile(ImageContext& ctx, ImageItem& item) {
    const int64_t size = GetVcdPsdSize(ctx);
    std::vector<uint8_t> b(size_t(size), 0);
    foundation::ByteWriter w(b);
    if (!VcdTrackInfoMissing(ctx)) {
        for (int32_t i = 0; i < MpegTracks(ctx); ++i) {
            const size_t at = 16 * size_t(i);
            w.U8(at, 0x10);
            w.U8(at + 1, 1);
            w.Be16(at + 2, uint16_t(i + 1));
            w.Be16(at + 4, i == 0 ? uint16_t(0xFFFF) : uint16_t(2 * (i - 1)));
            w.Be16(at + 6, uint16_t(2 * (i + 1)));
            w.Be16(at + 8, uint16_t((size - 8) / 8));
            w.Be16(at + 10, 0);
            w.U8(at + 12, 5);
            w.U8(at + 13, 0);
            w.Be16(at + 14, uint16_t(i + 2));
        }
        w.U8(size_t(size) - 8, 0x1F);
    }
    SetItemBytes(item, std::move(b), kPsdSector);
}

void BuildTracksFile(ImageContext& ctx, ImageItem& item) {
    std::vector<uint8_t> b(kControlFileBytes, 0);
    foundation::ByteWriter w(b);
    if (!VcdTrackInfoMissing(ctx)) {
        const int32_t m = MpegTracks(ctx);
        w.Put(0, "TRACKSVD", 8);
        w.U8(8, 1);
        w.U8(10, uint8_t(m));
        for (int32_t i = 0; i < m; ++i) {
            const MpegInfo* info = Info(ctx, i);
            uint8_t msf[3];
            SecondsToMsf(info ? info->playingSeconds : 0, msf);
            w.Put(11 + 3 * size_t(i), msf, 3);
            if (info) {
                const int content = GetVcdVideoTypeCode(*info) << 2 | GetVcdAudioTypeCode(*info, true) |
                                    GetSvcdOgtTypeCode(*info) << 6;
                w.U8(11 + 3 * size_t(m) + size_t(i), uint8_t(content));
            }
        }
    }
    SetItemBytes(item, std::move(b), kTracksSector);
}

void BuildSearchFile(ImageContext& ctx, ImageItem& item) {
    std::vector<uint8_t> b(size_t(GetSearchDatSize(ctx)), 0);
    foundation::ByteWriter w(b);
    if (!VcdTrackInfoMissing(ctx)) {
        const std::vector<int64_t> points = CollectScanSectors(ctx, false);
        w.Put(0, "SEARCHSV", 8);
        w.U8(8, 1);
        w.U8(9, 0);
        w.Be16(10, uint16_t(std::min<size_t>(points.size(), 0xFFFF)));
        w.U8(12, 1);
        for (size_t k = 0; k < points.size(); ++k) {
            uint8_t msf[3];
            LbaToBcdMsf(points[k] + kMsfLeadIn, msf);
            w.Put(size_t(kSearchHeaderBytes) + 3 * k, msf, 3);
        }
    }
    SetItemBytes(item, std::move(b), kSearchSector);
}

void BuildScanDataFile(ImageContext& ctx, ImageItem& item) {
    std::vector<uint8_t> b(size_t(GetScanDataSize(ctx)), 0);
    foundation::ByteWriter w(b);
    if (!VcdTrackInfoMissing(ctx)) {
        const int64_t n = TrackCount(ctx);
        std::vector<std::vector<int64_t>> perTrack;
        size_t total = 0;
        for (int32_t i = 0; i < MpegTracks(ctx); ++i) {
            perTrack.push_back(ListTrackScanSectors(ctx, i));
            total += perTrack.back().size();
        }
        w.Put(0, "SCAN_VCD", 8);
        w.U8(8, 1);
        w.U8(9, 0);
        w.Be16(10, uint16_t(std::min<size_t>(total, 0xFFFF)));
        w.Be16(12, uint16_t(n - 1));
        w.Be16(14, 0);
        for (int32_t i = 0; i + 2 <= n; ++i) {
            uint8_t msf[3];
            SecondsToMsf(std::fmod(SumVcdTrackDurations(ctx, i + 1), 6000), msf);
            w.Put(16 + 3 * size_t(i), msf, 3);
        }
        w.Be16(size_t(3 * n + 13), uint16_t(3 * (n - 1)));
        int64_t before = 0;
        for (int32_t i = 0; i < MpegTracks(ctx); ++i) {
            const size_t at = size_t(3 * n + 15 + 3 * i);
            w.U8(at, uint8_t(i + 2));
            w.Be16(at + 1, uint16_t(3 * (n - 1) + 3 * before));
            before += int64_t(perTrack[size_t(i)].size());
        }
        size_t at = size_t(6 * n + 12);
        for (const auto& points : perTrack) {
            for (int64_t sector : points) {
                uint8_t msf[3];
                LbaToBcdMsf(sector + kMsfLeadIn, msf);
                w.Put(at, msf, 3);
                at += 3;
            }
        }
    }
    SetItemBytes(item, std::move(b), kVideoCdMarker);
}

}  // namespace image
