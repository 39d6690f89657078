#include "optical/drive/optical_drive_list.h"

#include <atomic>

#include "foundation/drive_device_services.h"
#include "foundation/language.h"
#include "optical/drive/disc_queries.h"
#include "optical/mmc/mmc_commands.h"
#include "optical/scsi/scsi_command.h"
#include "platform/format.h"

namespace optical {
namespace {

constexpr size_t kMaxDriveText = 69;
std::atomic<uint64_t> g_ListVersion{0};

std::u16string Printable(std::string_view field) {
    std::u16string out;
    for (char c : field)
        if (c >= 0x20 && c < 0x7F) out += char16_t(c);
    while (!out.empty() && out.back() == u' ') out.pop_back();
    return out;
}

uint32_t ChooseUnit(uint32_t speed, uint8_t code) {
    if (speed % 1385 == 0) return 1385;
    if (speed % 176 == 0) return 176;
    if (speed % 4495 == 0) return 4495;
    if (speed % 150 == 0) return 150;
    // Within 1.1 KB/s of a multiple of 176.4; 64-bit so no speed can wrap.
    const uint64_t tenth = uint64_t(speed) * 10 % 1764;
    if (speed <= 17640 && (tenth <= 11 || tenth >= 1754)) return 176;
    if (code >= 1 && code <= 15) return 176;
    if (code >= 16 && code <= 31) return 1385;
    if (code >= 32 && code <= 254) return 4495;
    if (speed >= 1246 && (speed % 1385 < 11 || speed % 1385 >= 1375)) return 1385;
    const uint32_t bd = speed % 4495;
    if (speed < 4045 || (bd >= 11 && bd <= 4484)) {
        const uint32_t cd = speed % 176;
        if (cd < 21 || cd >= 156) return 176;
        if (speed < 33241) return speed > 9878 ? 1385 : 176;   // 9878.4: integers above it
        return 4495;
    }
    return 4495;
}

}  // namespace

std::u16string DriveDisplayText(char16_t letter, std::string_view vendor, std::string_view product) {
    std::u16string text = platform::Format(u"(%c:) ", letter);
    text += Printable(vendor);
    const std::u16string p = Printable(product);
    if (!p.empty()) text += (text.back() == u' ' ? u"" : u" ") + p;
    if (text.size() > kMaxDriveText) text.resize(kMaxDriveText);
    return text;
}

void RebuildOpticalDriveList(OpticalDriveList& list, bool allDrives) {
    list.drives.clear();
    // No drive on A: the letters of floppy drives never name an optical one.
    for (char16_t letter = u'B'; letter <= u'Z'; ++letter) {
        if (foundation::DriveDeviceServices().DevicePath(letter).empty()) continue;
        platform::FileHandle h = OpenOpticalDevice(letter);
        if (!h) continue;
        DriveCapabilities caps;
        OpticalDriveInfo info;
        info.letter = letter;
        if (GetDriveCapabilities(h, caps, 1, true))
            info.text = DriveDisplayText(letter, caps.vendor, caps.product);
        else
            info.text = platform::Format(u"(%c:) ", letter);
        info.writer = IsDriveWriter(h);
        CloseOpticalDevice(h);
        if (info.writer || allDrives) list.drives.push_back(std::move(info));
    }
    list.version = ++g_ListVersion;
}

bool MakeSpeedEntry(uint32_t speed, uint32_t& unit, uint8_t mediaCode, SpeedEntry& entry) {
    if (speed == 0) return false;
    if (speed == UINT32_MAX) {
        entry.speed = -1;
        entry.text = foundation::GetLangString(kStringMaximumSpeed, u"Maximum");
        return true;
    }
    if (unit == 1) unit = ChooseUnit(speed, mediaCode);
    const uint32_t u = unit;
    if (speed < u / 10) return false;
    const uint32_t rest = speed % u;
    entry.speed = int32_t(speed);
    if ((u != 176 || speed < 1760) && rest >= u / 10 && double(rest) <= 0.9 * u) {
        entry.text = platform::Format(foundation::GetLangString(kStringSpeedTenthsLabel, u"%.1fx (%uKB/s)"),
                                      double(speed) / u, speed);
    } else {
        entry.text = platform::Format(foundation::GetLangString(kStringSpeedWholeLabel, u"%dx (%uKB/s)"),
                                      int(double(speed) / u + 0.4999), speed);
    }
    return true;
}

std::vector<SpeedEntry> ListWriteSpeeds(char16_t letter) {
    std::vector<SpeedEntry> entries;
    SpeedEntry maximum;
    uint32_t noUnit = 1;
    MakeSpeedEntry(UINT32_MAX, noUnit, 0, maximum);
    entries.push_back(maximum);
    platform::FileHandle h = OpenOpticalDevice(letter);
    if (!h) return entries;
    const uint8_t code = GetDiscMediaType(h);
    uint32_t unit = 1;
    auto add = [&](uint32_t speed) {
        SpeedEntry e;
        if (MakeSpeedEntry(speed, unit, code, e)) entries.push_back(std::move(e));
    };
    std::vector<uint8_t> perf;
    if (GetPerformanceList(h, 0, 0, 3, perf) && perf.size() >= 24) {
        for (size_t at = 8; at + 16 <= perf.size(); at += 16)
            add(uint32_t(perf[at + 12]) << 24 | uint32_t(perf[at + 13]) << 16 | uint32_t(perf[at + 14]) << 8 |
                perf[at + 15]);
    } else {
        std::vector<uint8_t> page;
        if (ReadModePage(h, 0x2A, 0, page) && page.size() > 29) {
            const size_t pageLength = size_t(page[1]) + 2;
            if (pageLength > 30 && page.size() >= 32) {
                const size_t count = size_t(page[30]) << 8 | page[31];
                for (size_t i = 0; i < count && 32 + i * 4 + 4 <= std::min(page.size(), pageLength); ++i)
                    add(uint32_t(page[32 + i * 4 + 2]) << 8 | page[32 + i * 4 + 3]);
            } else if (pageLength > 17) {
                add(uint32_t(page[18]) << 8 | page[19]);
            }
        }
    }
    CloseOpticalDevice(h);
    return entries;
}

}  // namespace optical
