#include "optical/drive/drive_speed.h"

#include <vector>

#include "foundation/byte_cursor.h"
#include "foundation/language.h"
#include "foundation/optical_services.h"
#include "optical/drive/disc_queries.h"
#include "optical/mmc/mmc_commands.h"

namespace optical {

std::atomic<int32_t> g_SpeedIndex{0};

namespace {

std::atomic<bool> g_speedLogged{false};
// A drive that keeps reporting another speed than it was set to is asked
// this many times, then taken at its word.
constexpr int kSpeedSends = 3;

uint32_t UnitOf(uint8_t code) { return code < 16 ? 176 : code < 32 ? 1385 : 4495; }

void LogSpeedOnce(uint32_t target, uint32_t unit) {
    if (g_speedLogged.exchange(true)) return;
    uint32_t remainder = target % unit;
    if ((unit == 176 && target >= 1760) || remainder * 10 < unit || remainder * 10 > unit * 9) {
        foundation::BurnLog(false, foundation::GetLangString(kStringSpeedRounded, u"Setting the drive write speed to %dx (%uKB/s)."),
                            static_cast<int32_t>(target / static_cast<double>(unit) + 0.4999), target);
    } else {
        foundation::BurnLog(false, foundation::GetLangString(kStringSpeedTenths, u"Setting the drive write speed to %.1fx (%uKB/s)."),
                            target / static_cast<double>(unit), target);
    }
}

// The page's current write speed (bytes 28..29), when the page holds it.
bool PageCurrentWriteSpeed(const std::vector<uint8_t>& buffer, uint32_t& speed) {
    if (buffer.size() < 8 + 30 || (buffer[8] & 0x3F) != 0x2A || buffer[9] < 28) return false;
    speed = static_cast<uint32_t>(buffer[8 + 28]) << 8 | buffer[8 + 29];
    return true;
}

std::vector<uint8_t> PageOf(const std::vector<uint8_t>& buffer) {
    return buffer.size() > 8 ? std::vector<uint8_t>(buffer.begin() + 8, buffer.end()) : std::vector<uint8_t>();
}

}  // namespace

void ResetSpeedLog() { g_speedLogged = false; }

int SetSpeedByStreaming(platform::FileHandle h, uint8_t code, uint16_t readSpeed, int32_t writeSpeed) {
    (void)readSpeed;
    std::vector<uint8_t> page;
    ReadModePage(h, 0x2A, 0, page);
    std::vector<uint8_t> list;
    if (!GetPerformanceList(h, 0, 0, 3, list) || list.size() < 8 + 16) return -1;
    uint32_t unit = UnitOf(code);
    bool fromPage = false;
    for (int sends = 0;; ++sends) {
        uint32_t current = 0;
        if (fromPage || !GetMaxWriteSpeed(h, current)) {
            fromPage = true;
            PageCurrentWriteSpeed(page, current);
        }
        g_WriteSpeedFactor = static_cast<float>(current) / static_cast<float>(unit);
        if (writeSpeed == 0) return 1;
        int index = FindNearestWriteSpeed(list, static_cast<uint32_t>(writeSpeed));
        if (index < 0) return -2;
        foundation::ByteCursor entry(list.data() + 8 + 16 * static_cast<size_t>(index), 16);
        uint32_t target = entry.Be32(12);
        LogSpeedOnce(target, unit);
        if (current == target || sends == kSpeedSends) return 1;
        uint8_t descriptor[28] = {};
        foundation::ByteWriter out(descriptor, sizeof descriptor);
        // Only the write-rotation and exact bits carry over: in a write-speed
        // descriptor bits 2 and 0 are other flags, which here would mean
        // "restore defaults" and "random access".
        out.U8(0, entry.U8(0) & 0x1A);
        uint32_t total = 0, nwa = 0, freeBlocks = 0;
        uint32_t end = GetMediaCapacity(h, code, 0, total, nwa, freeBlocks) && total > 0 ? total - 1 : entry.Be32(4);
        out.Be32(8, end);
        out.Be32(12, entry.Be32(8));
        out.Be32(16, 1000);
        out.Be32(20, target);
        out.Be32(24, 1000);
        uint32_t len = sizeof descriptor;
        if (!ScsiSetStreaming(h, 0, descriptor, len)) return -2;
        ReadModePage(h, 0x2A, 0, page);
    }
}

int SetSpeedByCdSpeed(platform::FileHandle h, uint8_t code, uint16_t readSpeed, int32_t writeSpeed) {
    std::vector<uint8_t> page;
    if (!ReadModePage(h, 0x2A, 0, page)) return -2;
    uint32_t unit = UnitOf(code);
    for (int sends = 0;; ++sends) {
        uint32_t current = 0;
        if (!PageCurrentWriteSpeed(page, current)) return -2;
        g_WriteSpeedFactor = static_cast<float>(current) / static_cast<float>(unit);
        if (writeSpeed == 0) return 1;
        std::vector<uint8_t> body = PageOf(page);
        int index = FindNearestPageWriteSpeed(body, static_cast<uint32_t>(writeSpeed));
        if (index < 0) return -2;
        foundation::ByteCursor d(body.data() + 32 + 4 * static_cast<size_t>(index), 4);
        uint32_t target = d.Be16(2);
        LogSpeedOnce(target, unit);
        if (current == target || sends == kSpeedSends) return 1;
        uint8_t rotation = code < 16 ? 0 : static_cast<uint8_t>(d.U8(1) & 3);
        if (!ScsiSetCdSpeed(h, rotation, readSpeed, static_cast<uint16_t>(target))) return -2;
        if (!ReadModePage(h, 0x2A, 0, page)) return -2;
    }
}

bool SetDriveSpeed(platform::FileHandle h, int32_t speedIndex, uint8_t code, uint16_t readSpeed, int32_t writeSpeed) {
    g_SpeedIndex = speedIndex;
    if (writeSpeed == 0) return true;
    if (code < 16 && writeSpeed == -1) return ScsiSetCdSpeed(h, 0, readSpeed, 0xFFFF) == 1;
    int result;
    if (code >= 16) {
        result = SetSpeedByStreaming(h, code, readSpeed, writeSpeed);
        if (result == -1) result = SetSpeedByCdSpeed(h, code, readSpeed, writeSpeed);
    } else {
        result = SetSpeedByCdSpeed(h, code, readSpeed, writeSpeed);
    }
    return result >= 0;
}

}  // namespace optical
