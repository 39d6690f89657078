#include "optical/burn/cd_cue_sheet.h"

#include <algorithm>

#include "image/sheets/track_list.h"

namespace optical {

namespace {

// Absolute CD time (sector + 150) into the last three bytes of an entry.
void PutTime(uint8_t* entry, int64_t time) {
    entry[5] = static_cast<uint8_t>(time / 4500);
    entry[6] = static_cast<uint8_t>(time / 75 % 60);
    entry[7] = static_cast<uint8_t>(time % 75);
}

void Add(std::vector<uint8_t>& sheet, uint8_t ctlAdr, uint8_t track, uint8_t index, uint8_t form, int64_t time) {
    uint8_t e[8] = {ctlAdr, track, index, form, 0, 0, 0, 0};
    PutTime(e, time);
    sheet.insert(sheet.end(), e, e + 8);
}

uint8_t TrackForm(uint8_t mode) { return mode == 1 ? 0x00 : mode == 2 ? 0x11 : 0x21; }
uint8_t LeadForm(uint8_t mode) { return mode == 1 ? 0x01 : mode == 2 ? 0x14 : 0x34; }

}  // namespace

uint8_t CdSheetMode(uint8_t listMode) {
    namespace tm = image::track_mode;
    switch (listMode) {
        case tm::kAudio: return 1;
        case tm::kMode1: case tm::kMode1Raw: case tm::kNrgData: return 2;
        case tm::kMode2: case tm::kMode2Form1: case tm::kMode2Form2: case 7: case tm::kMode2Raw: case tm::kMode2Mixed:
            return 4;
        default: return 0;
    }
}

bool IsCatalogNumber(const std::string& text) {
    return text.size() == 13 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsIsrc(const std::string& text) {
    return text.size() == 12 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
           });
}

bool PlanCdSession(const image::TrackList& list, int32_t first, int32_t last, int64_t sessionStart,
                   int firstNumber, CdSessionPlan& plan, std::string& why) {
    plan = CdSessionPlan{};
    int32_t count = last - first + 1;
    if (first < 0 || count < 1 || last >= std::min<int32_t>(list.trackCount, image::kMaxTracks) ||
        firstNumber < 1 || firstNumber + count - 1 > 99) {
        why = "track count";
        return false;
    }
    plan.pregapStart = sessionStart - 150;
    int64_t previousEnd = 0;
    for (int32_t i = first; i <= last; ++i) {
        const image::TrackEntry& t = list.tracks[static_cast<size_t>(i)];
        CdTrackPlan p;
        p.number = firstNumber + (i - first);
        p.listIndex = i;
        p.mode = CdSheetMode(t.mode);
        if (p.mode == 0) {
            why = "unknown mode of track " + std::to_string(p.number);
            return false;
        }
        if (t.length <= 0 || t.pregap < 0 || t.postgap < 0) {
            why = "empty track " + std::to_string(p.number);
            return false;
        }
        p.first = int64_t(t.startSector) - t.pregap;
        p.index1 = t.startSector;
        p.end = int64_t(t.startSector) + t.length + t.postgap;
        if (i == first) {
            // The session's own pregap covers what the track does not bring.
            if (p.first < plan.pregapStart || p.first > sessionStart || p.index1 < sessionStart) {
                why = "first track outside the session's pregap";
                return false;
            }
        } else {
            if (p.first != previousEnd || p.index1 <= previousEnd - 1) {
                why = "track " + std::to_string(p.number) + " does not follow the one before";
                return false;
            }
            p.index0 = t.pregap > 0;
        }
        if (p.mode == 4) plan.xa = true;
        previousEnd = p.end;
        plan.tracks.push_back(p);
    }
    plan.leadOut = previousEnd;
    return true;
}

std::vector<uint8_t> BuildCdCueSheet(const CdSessionPlan& plan, const CdCueOptions& options) {
    std::vector<uint8_t> sheet;
    if (plan.tracks.empty()) return sheet;
    auto ctl = [&](uint8_t mode) -> uint8_t { return mode == 1 ? (options.audioCtl ? 0x21 : 0x01) : 0x41; };
    if (options.cdText && IsCatalogNumber(options.catalog)) {
        uint8_t a[8] = {0x02}, b[8] = {0x02};
        for (int k = 0; k < 7; ++k) a[1 + k] = static_cast<uint8_t>(options.catalog[size_t(k)]);
        for (int k = 0; k < 6; ++k) b[1 + k] = static_cast<uint8_t>(options.catalog[size_t(7 + k)]);
        sheet.insert(sheet.end(), a, a + 8);
        sheet.insert(sheet.end(), b, b + 8);
    }
    const CdTrackPlan& head = plan.tracks.front();
    Add(sheet, ctl(head.mode), 0, 0, static_cast<uint8_t>(LeadForm(head.mode) | (options.cdText ? 0x40 : 0)), 0);
    for (size_t i = 0; i < plan.tracks.size(); ++i) {
        const CdTrackPlan& t = plan.tracks[i];
        uint8_t number = static_cast<uint8_t>(t.number);
        if (options.cdText && i < options.isrc.size() && IsIsrc(options.isrc[i])) {
            const std::string& code = options.isrc[i];
            for (int half = 0; half < 2; ++half) {
                uint8_t e[8] = {0x03, number};
                for (int k = 0; k < 6; ++k) e[2 + k] = static_cast<uint8_t>(code[size_t(6 * half + k)]);
                sheet.insert(sheet.end(), e, e + 8);
            }
        }
        // One INDEX 00 for the session's pregap; later tracks by their own pregap.
        if (i == 0) Add(sheet, ctl(t.mode), number, 0, TrackForm(t.mode), plan.pregapStart + 150);
        else if (t.index0) Add(sheet, ctl(t.mode), number, 0, TrackForm(t.mode), t.first + 150);
        Add(sheet, ctl(t.mode), number, 1, TrackForm(t.mode), t.index1 + 150);
    }
    const CdTrackPlan& tail = plan.tracks.back();
    Add(sheet, tail.mode == 1 ? 0x01 : 0x41, 0xAA, 1, LeadForm(tail.mode), plan.leadOut + 150);
    return sheet;
}

std::vector<uint8_t> BuildDataCueSheet(int64_t start, int64_t sectors, int trackNumber) {
    std::vector<uint8_t> sheet;
    uint8_t n = static_cast<uint8_t>(trackNumber);
    Add(sheet, 0x41, 0, 0, 0x14, 0);
    Add(sheet, 0x41, n, 0, 0x10, start);
    Add(sheet, 0x41, n, 1, 0x10, start + 150);
    Add(sheet, 0x41, 0xAA, 1, 0x14, start + sectors + 150);
    return sheet;
}

}  // namespace optical
