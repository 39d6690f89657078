#include "optical/drive/sector_reader.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"
#include "optical/drive/sector_read_state.h"
#include "optical/drive/sector_source.h"
#include "optical/mmc/mmc_commands.h"
#include "optical/scsi/scsi_command.h"
#include "platform/last_error.h"

namespace optical {
namespace {

constexpr uint32_t kCookedBytes = 2048;
constexpr uint32_t kRawBytes = 2352;
constexpr uint32_t kCookedChunk = 32;
constexpr uint32_t kRawChunk = 16;
// Failed attempts in a row, within one call, after which the rest of the call
// is given up as zeros: a bad zone then costs a few commands, not hundreds.
constexpr uint32_t kCallFailureLimit = 16;
constexpr int32_t kSkipCalls = 16;

// Reads count sectors of unit bytes, continuing after a short transfer of
// whole sectors; fewer than one whole sector is a read fault.
template <typename ReadFn>
int ReadWhole(ReadFn read, uint8_t* buffer, uint32_t lba, uint32_t count, uint32_t unit, uint32_t& bytesRead) {
    bytesRead = 0;
    uint32_t done = 0;
    while (done < count) {
        uint32_t want = count - done;
        uint32_t len = want * unit;
        uint32_t got = 0;
        if (!read(lba + done, want, buffer + static_cast<size_t>(done) * unit, len, got)) return 0;
        got = std::min(got, want * unit);
        uint32_t whole = got / unit;
        if (whole == 0) {
            platform::SetLastError(platform::kErrorReadFault);
            return 0;
        }
        done += whole;
        bytesRead = done * unit;
    }
    return 1;
}

}  // namespace

int ReadCookedDiscSectors(const image::TrackList* trackList, platform::FileHandle device, void* buffer, uint32_t lba,
                          uint32_t count, uint32_t& bytesRead) {
    auto* out = static_cast<uint8_t*>(buffer);
    if (trackList && trackList->sourceIsVirtualDrive) {
        return ReadWhole(
            [&](uint32_t at, uint32_t n, uint8_t* to, uint32_t, uint32_t& got) {
                int64_t r = SectorSource().ReadCooked(device, to, at, n);
                got = r < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(r, int64_t{n} * kCookedBytes));
                return r >= 0;
            },
            out, lba, count, kCookedBytes, bytesRead);
    }
    return ReadWhole(
        [&](uint32_t at, uint32_t n, uint8_t* to, uint32_t len, uint32_t& got) {
            return ScsiRead10(device, at, static_cast<uint16_t>(n), to, len, got);
        },
        out, lba, count, kCookedBytes, bytesRead);
}

int ReadRawDiscSectors(const image::TrackList* trackList, platform::FileHandle device, void* buffer, uint32_t lba,
                       uint32_t count, uint32_t& bytesRead) {
    auto* out = static_cast<uint8_t*>(buffer);
    if (trackList && trackList->sourceIsVirtualDrive) {
        return ReadWhole(
            [&](uint32_t at, uint32_t n, uint8_t* to, uint32_t, uint32_t& got) {
                int64_t r = SectorSource().ReadRaw(device, to, at, n);
                got = r < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(r, int64_t{n} * kRawBytes));
                return r >= 0;
            },
            out, lba, count, kRawBytes, bytesRead);
    }
    return ReadWhole(
        [&](uint32_t at, uint32_t n, uint8_t* to, uint32_t len, uint32_t& got) {
            return ScsiReadCd(device, at, n, to, len, got);
        },
        out, lba, count, kRawBytes, bytesRead);
}

int ReadSectorsWithRetry(const foundation::SectorReadRequest& request, int* hadError) {
    if (hadError) *hadError = 0;
    const uint32_t unit = request.raw ? kRawBytes : kCookedBytes;
    const uint64_t runBytes = static_cast<uint64_t>(request.count) * unit;
    if (!request.buffer || (request.bufferBytes != 0 && request.bufferBytes < runBytes)) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return 0;
    }
    auto* buffer = static_cast<uint8_t*>(request.buffer);
    if (request.lba == 0) {
        g_ReadErrorRun = 0;
        g_SkipCountdown = 0;
    }
    // Skip mode: after a long run of failures with ignore-all on, the next
    // calls give zeros without asking the drive. The zeros are lost sectors
    // and are marked so.
    if (g_IgnoreAllReadErrors.load()) {
        bool skip = false;
        if (g_ReadErrorRun.load() >= kCallFailureLimit) {
            g_SkipCountdown = kSkipCalls;
            g_ReadErrorRun = 0;
            skip = true;
        } else if (g_SkipCountdown.load() > 0) {
            skip = true;
        }
        if (skip) {
            --g_SkipCountdown;
            std::memset(buffer, 0, static_cast<size_t>(runBytes));
            if (hadError) *hadError = 1;
            g_ReadHadErrors = true;
            return 1;
        }
    }

    int32_t retries = request.policy == 0 ? 10 : request.policy <= 2 ? 5 : request.policy <= 150 ? 1 : 0;
    uint32_t chunk = std::min(request.raw ? kRawChunk : kCookedChunk, request.count);
    bool aspi = g_DeviceAccessMode.load() < 2;
    bool quiet = request.image && request.image->quietReads != 0;
    uint32_t lba = request.lba;
    uint32_t done = 0;
    uint32_t callFailures = 0;
    auto markLost = [&](uint32_t from, uint32_t sectors) {
        std::memset(buffer + static_cast<size_t>(from) * unit, 0, static_cast<size_t>(sectors) * unit);
        if (hadError) *hadError = 1;
        g_ReadHadErrors = true;
    };

    while (done < request.count) {
        uint32_t now = std::min(chunk, request.count - done);
        uint8_t* at = buffer + static_cast<size_t>(done) * unit;
        int attempts = now > 1 ? 1 : (request.raw ? retries + 1 : (aspi ? 5 * retries + 1 : 2));
        bool ok = false;
        for (int attempt = 0; attempt < attempts && !ok; ++attempt) {
            uint32_t got = 0;
            if (request.raw) {
                ok = !aspi && ReadRawDiscSectors(request.trackList, request.device, at, lba, now, got);
            } else if (aspi) {
                ok = AspiReadSectors(request.device, request.cancelEvent, at, lba, now) == 1;
            } else {
                ok = ReadCookedDiscSectors(request.trackList, request.device, at, lba, now, got);
            }
            if (ok) {
                g_ReadErrorRun = 0;
                callFailures = 0;
            } else {
                ++g_ReadErrorRun;
                ++callFailures;
            }
        }
        if (ok) {
            done += now;
            lba += now;
            continue;
        }
        if (now > 1) {
            chunk = 1;
            continue;
        }
        // One sector that failed all its attempts.
        if (request.policy > 0) {
            if (callFailures >= kCallFailureLimit) {
                markLost(done, request.count - done);
                return 1;
            }
            markLost(done, 1);
            ++done;
            ++lba;
            continue;
        }
        if (!request.mayPrompt) return 0;
        if (!g_IgnoreAllReadErrors.load() && !quiet) {
            std::u16string title(request.title.empty() ? ImageJobSourceName() : std::u16string(request.title));
            std::optional<std::u16string_view> text;
            if (aspi) text = u"Can not read CD/DVD/BD sector.";
            else if (!title.empty()) text = title;
            int answer = foundation::AskRetryOnError(text, std::nullopt);
            if (answer == foundation::kIdRetry) continue;
            if (answer != foundation::kIdIgnore) return 0;
        }
        markLost(done, 1);
        ++done;
        ++lba;
        if (!g_IgnoreAllReadErrors.load() && !quiet) {
            if (foundation::AppMessageBox(u"Do you want to ignore all errors?", foundation::kMbYesNo) ==
                foundation::kIdYes)
                g_IgnoreAllReadErrors = true;
        }
    }
    return 1;
}

}  // namespace optical
