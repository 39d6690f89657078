#include "optical/mmc/mmc_commands.h"

#include <algorithm>
#include <cstring>

#include "foundation/byte_cursor.h"
#include "foundation/byte_order.h"
#include "foundation/language.h"
#include "foundation/messages_sense.h"
#include "foundation/optical_services.h"
#include "optical/burn/burn_log.h"
#include "optical/scsi/drive_clock.h"
#include "optical/scsi/scsi_command.h"
#include "platform/last_error.h"

namespace optical {

std::atomic<float> g_WriteSpeedFactor{256.0f};
std::atomic<bool> g_WritingLeadIn{false};
std::atomic<bool> g_FirstWriteRetry{true};

void ResetMmcState() {
    g_WriteSpeedFactor = 256.0f;
    g_WritingLeadIn = false;
    g_FirstWriteRetry = true;
}

namespace {

constexpr uint32_t kOneMegabyte = 1u << 20;
// Ten minutes of a drive that only ever says "busy" ends a write.
constexpr uint64_t kBusyLimitMs = 10ull * 60 * 1000;
constexpr uint32_t kTransientRetries = 300;

constexpr SenseRow kBusySense[] = {{2, 0x04, 0x08, 0}, {2, 0x04, 0x07, 0}, {2, 0x04, 0x04, 0}};
constexpr SenseRow kTransientSense[] = {{6, 0x29, 0x00, 0}, {2, 0x04, 0x01, 0}, {5, 0x2C, 0x00, 0}};

// Command fields are big-endian; a few (transfer lengths in sectors, a format
// descriptor's parameter) are three bytes wide.
void Put24(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 16);
    foundation::WriteBE16(p + 1, static_cast<uint16_t>(v));
}

int Send(FileHandle h, const uint8_t* cdb, uint32_t cdbLength, void* buf, uint32_t& len, bool dataIn,
         uint32_t timeout, uint8_t* sense = nullptr, uint32_t senseLength = 0) {
    return ExecuteScsiCommand(h, cdb, cdbLength, len ? buf : nullptr, &len, sense, senseLength, dataIn ? 1 : 0,
                              timeout);
}
int SendNoData(FileHandle h, const uint8_t* cdb, uint32_t cdbLength, uint32_t timeout, uint8_t* sense = nullptr,
               uint32_t senseLength = 0) {
    uint32_t len = 0;
    return Send(h, cdb, cdbLength, nullptr, len, false, timeout, sense, senseLength);
}
int SendIn(FileHandle h, uint8_t* cdb, uint32_t cdbLength, void* buf, uint32_t& len, uint32_t allocOffset,
           uint32_t allocBytes, uint32_t timeout = 100) {
    if (allocBytes == 2) foundation::WriteBE16(cdb + allocOffset, std::min<uint32_t>(len, 0xFFFF));
    else if (allocBytes == 1) cdb[allocOffset] = static_cast<uint8_t>(std::min<uint32_t>(len, 0xFF));
    uint8_t sense[kFixedSenseBytes];
    return Send(h, cdb, cdbLength, buf, len, true, timeout, sense, sizeof sense);
}

}  // namespace

int ScsiInquiry(FileHandle h, void* buf, uint32_t& len) {
    uint8_t cdb[6] = {0x12};
    foundation::WriteBE16(cdb + 3, std::min<uint32_t>(len, 0xFFFF));
    return Send(h, cdb, 6, buf, len, true, 100);
}

int ScsiTestUnitReady(FileHandle h) {
    uint8_t cdb[6] = {0x00};
    return SendNoData(h, cdb, 6, 10);
}

int ScsiReadToc(FileHandle h, bool msf, uint8_t format, void* buf, uint32_t& len) {
    uint8_t cdb[10] = {0x43, static_cast<uint8_t>(msf ? 0x02 : 0), static_cast<uint8_t>(format & 0x0F)};
    foundation::WriteBE16(cdb + 7, std::min<uint32_t>(len, 0xFFFF));
    return Send(h, cdb, 10, buf, len, true, 100);
}

int ScsiModeSense10(FileHandle h, uint8_t page, uint8_t control, void* buf, uint32_t& len) {
    uint8_t cdb[10] = {0x5A, 0x08, static_cast<uint8_t>(control << 6 | (page & 0x3F))};
    return SendIn(h, cdb, 10, buf, len, 7, 2);
}

int ScsiModeSelect10(FileHandle h, void* buf, uint32_t& len) {
    uint8_t cdb[10] = {0x55, 0x10};
    foundation::WriteBE16(cdb + 7, std::min<uint32_t>(len, 0xFFFF));
    uint8_t sense[kFixedSenseBytes];
    return Send(h, cdb, 10, buf, len, false, 100, sense, sizeof sense);
}

int ScsiReadDiscInfo(FileHandle h, uint8_t type, void* buf, uint32_t& len) {
    uint8_t cdb[10] = {0x51, static_cast<uint8_t>(type & 7)};
    foundation::WriteBE16(cdb + 7, std::min<uint32_t>(len, 0xFFFF));
    return Send(h, cdb, 10, buf, len, true, 100);
}

int ScsiReadTrackInfo(FileHandle h, bool open, uint8_t addressType, uint32_t number, void* buf, uint32_t& len) {
    uint8_t cdb[10] = {0x52, static_cast<uint8_t>((open ? 0x04 : 0) | (addressType & 3))};
    foundation::WriteBE32(cdb + 2, number);
    foundation::WriteBE16(cdb + 7, std::min<uint32_t>(len, 0xFFFF));
    return Send(h, cdb, 10, buf, len, true, 100);
}

int ScsiReadDiscStructure(FileHandle h, uint8_t mediaType, uint32_t address, uint8_t layer, uint8_t format,
                          void* buf, uint32_t& len) {
    uint8_t cdb[12] = {0xAD, static_cast<uint8_t>(mediaType & 0x0F)};
    foundation::WriteBE32(cdb + 2, address);
    cdb[6] = layer;
    cdb[7] = format;
    foundation::WriteBE16(cdb + 8, std::min<uint32_t>(len, 0xFFFF));
    return Send(h, cdb, 12, buf, len, true, 100);
}

int ScsiSendCueSheet(FileHandle h, void* buf, uint32_t& len) {
    uint8_t cdb[10] = {0x5D};
    Put24(cdb + 6, std::min<uint32_t>(len, 0xFFFFFF));
    return Send(h, cdb, 10, buf, len, false, 100);
}

int ScsiFormatUnit(FileHandle h, uint32_t blocks, uint8_t formatType, uint8_t subType, uint32_t parameter,
                   uint8_t options, uint32_t readySeconds) {
    uint8_t cdb[6] = {0x04, 0x11};
    uint8_t list[12] = {0, options, 0, 8};
    foundation::WriteBE32(list + 4, blocks);
    list[8] = static_cast<uint8_t>(formatType << 2 | (subType & 3));
    Put24(list + 9, parameter);
    uint32_t len = sizeof list;
    uint8_t sense[kFixedSenseBytes];
    if (!Send(h, cdb, 6, list, len, false, 120, sense, sizeof sense)) return 0;
    if (!WaitUnitReady(h, readySeconds)) return 0;
    if (formatType == 0x26) {
        uint8_t info[42];
        uint32_t infoLen = sizeof info;
        if (!ScsiReadDiscInfo(h, 0, info, infoLen) || infoLen < 8 || (info[7] & 3) == 0) return 0;
    }
    return 1;
}

int ScsiSynchronizeCache(FileHandle h, bool immed) {
    uint8_t cdb[10] = {0x35, static_cast<uint8_t>(immed ? 0x02 : 0)};
    return SendNoData(h, cdb, 10, immed ? 600 : 9999);
}

int ScsiBlank(FileHandle h, bool immed, uint8_t type, uint32_t readySeconds) {
    uint8_t cdb[12] = {0xA1, static_cast<uint8_t>((immed ? 0x10 : 0) | (type & 7))};
    if (!SendNoData(h, cdb, 12, 100)) return 0;
    return WaitUnitReady(h, readySeconds);
}

int ScsiSetCdSpeed(FileHandle h, uint8_t rotation, uint16_t readSpeed, uint16_t writeSpeed) {
    uint8_t cdb[12] = {0xBB, rotation};
    foundation::WriteBE16(cdb + 2, readSpeed);
    foundation::WriteBE16(cdb + 4, writeSpeed);
    return SendNoData(h, cdb, 12, 100);
}

int ScsiSetStreaming(FileHandle h, uint8_t type, void* buf, uint32_t& len) {
    uint8_t cdb[12] = {0xB6};
    cdb[8] = type;
    foundation::WriteBE16(cdb + 9, std::min<uint32_t>(len, 0xFFFF));
    return Send(h, cdb, 12, buf, len, false, 100);
}

int ScsiSendOpcInfo(FileHandle h) {
    uint8_t cdb[10] = {0x54, 0x01};
    return SendNoData(h, cdb, 10, 255);
}

int ScsiStartStopUnit(FileHandle h, bool start, bool loadEject) {
    uint8_t cdb[6] = {0x1B};
    cdb[4] = static_cast<uint8_t>((loadEject ? 1 : 0) << 1 | (start ? 1 : 0));
    return SendNoData(h, cdb, 6, 100);
}

int ScsiCloseTrackSession(FileHandle h, bool immed, uint8_t function, uint16_t track) {
    uint8_t cdb[10] = {0x5B, static_cast<uint8_t>(immed ? 1 : 0), static_cast<uint8_t>(function & 7)};
    foundation::WriteBE16(cdb + 4, track);
    uint8_t sense[kFixedSenseBytes];
    return SendNoData(h, cdb, 10, immed ? 100 : 9999, sense, sizeof sense);
}

int ScsiRead10(FileHandle h, uint32_t lba, uint16_t count, void* buf, uint32_t& len, uint32_t& got) {
    uint8_t cdb[10] = {0x28};
    foundation::WriteBE32(cdb + 2, lba);
    foundation::WriteBE16(cdb + 7, count);
    uint8_t sense[kFixedSenseBytes];
    got = 0;
    if (!Send(h, cdb, 10, buf, len, true, 100, sense, sizeof sense)) {
        foundation::SetLastErrorFromSense(sense, platform::kErrorIoDevice);
        return 0;
    }
    got = len;
    return 1;
}

int ScsiReadCd(FileHandle h, uint32_t lba, uint32_t count, void* buf, uint32_t& len, uint32_t& got) {
    uint8_t cdb[12] = {0xBE, 0};
    foundation::WriteBE32(cdb + 2, lba);
    Put24(cdb + 6, count);
    cdb[9] = 0xF8;
    uint8_t sense[kFixedSenseBytes];
    got = 0;
    if (!Send(h, cdb, 12, buf, len, true, 100, sense, sizeof sense)) {
        foundation::SetLastErrorFromSense(sense, platform::kErrorIoDevice);
        return 0;
    }
    got = len;
    return 1;
}

int ScsiWrite10(FileHandle h, uint32_t lba, const void* buffer, uint32_t byteCount, uint32_t sectorSize) {
    if (sectorSize == 0 || byteCount / sectorSize > 0xFFFF || byteCount == 0 || !buffer) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return 0;
    }
    uint8_t cdb[10] = {0x2A};
    foundation::WriteBE32(cdb + 2, lba);
    foundation::WriteBE16(cdb + 7, byteCount / sectorSize);
    uint8_t sense[kFixedSenseBytes];
    uint32_t transient = 0;
    uint64_t busySince = 0;
    bool busy = false;
    for (;;) {
        uint32_t len = byteCount;
        std::memset(sense, 0, sizeof sense);
        if (Send(h, cdb, 10, const_cast<void*>(buffer), len, false, 50, sense, sizeof sense)) return 1;
        if (SenseMatchesTable(kBusySense, std::size(kBusySense), sense)) {
            uint64_t now = DriveClock().NowMs();
            if (!busy) {
                busy = true;
                busySince = now;
            } else if (now - busySince >= kBusyLimitMs) {
                return 0;
            }
        } else if (SenseMatchesTable(kTransientSense, std::size(kTransientSense), sense)) {
            busy = false;
            if (++transient > kTransientRetries) return 0;
            DriveSleep(1000);
        } else {
            return 0;
        }
        DriveSleep(g_FirstWriteRetry.exchange(false) ? 1000 : 100);
    }
}

int ScsiGetConfiguration(FileHandle h, uint8_t rt, uint16_t feature, void* buf, uint32_t& len) {
    uint8_t cdb[10] = {0x46, static_cast<uint8_t>(rt & 3)};
    foundation::WriteBE16(cdb + 2, feature);
    foundation::WriteBE16(cdb + 7, std::min<uint32_t>(len, 0xFFFF));
    return Send(h, cdb, 10, buf, len, true, 100);
}

int ScsiGetPerformance(FileHandle h, uint8_t dataType, uint32_t lba, uint16_t count, uint8_t type, void* buf,
                       uint32_t& len) {
    uint8_t cdb[12] = {0xAC, static_cast<uint8_t>(dataType & 0x1F)};
    foundation::WriteBE32(cdb + 2, lba);
    foundation::WriteBE16(cdb + 8, count);
    cdb[10] = type;
    return Send(h, cdb, 12, buf, len, true, 100);
}

int ScsiReadFormatCapacities(FileHandle h, void* buf, uint32_t& len) {
    uint8_t cdb[10] = {0x23};
    foundation::WriteBE16(cdb + 7, std::min<uint32_t>(len, 0xFFFF));
    return Send(h, cdb, 10, buf, len, true, 100);
}

int ScsiReadCapacity(FileHandle h, uint8_t (&reply)[8]) {
    uint8_t cdb[10] = {0x25};
    uint32_t len = 8;
    return Send(h, cdb, 10, reply, len, true, 100) && len == 8;
}

int ScsiReserveTrack(FileHandle h, uint32_t blocks) {
    uint8_t cdb[10] = {0x53};
    uint64_t rounded = (static_cast<uint64_t>(blocks) + 15) / 16 * 16;
    foundation::WriteBE32(cdb + 5, static_cast<uint32_t>(std::min<uint64_t>(rounded, 0xFFFFFFF0u)));
    return SendNoData(h, cdb, 10, 900);
}

int ScsiSendTimeStamp(FileHandle h, std::string_view text) {
    if (text.size() != 14) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return 0;
    }
    uint8_t cdb[12] = {0xBF};
    cdb[7] = 0x0F;
    foundation::WriteBE16(cdb + 8, 22);
    uint8_t list[22] = {};
    foundation::WriteBE16(list, 18);
    std::memcpy(list + 8, text.data(), 14);
    uint32_t len = sizeof list;
    return Send(h, cdb, 12, list, len, false, 100);
}

int ReadCdTextPacks(FileHandle h, std::vector<uint8_t>& buffer) {
    buffer.clear();
    uint8_t head[4];
    uint32_t len = sizeof head;
    if (!ScsiReadToc(h, false, 5, head, len) || len < 4) return 0;
    uint32_t total = (static_cast<uint32_t>(head[0]) << 8 | head[1]) + 2;
    if (total < 22) return 0;
    buffer.assign(total, 0);
    len = total;
    if (!ScsiReadToc(h, false, 5, buffer.data(), len) || len < 4) {
        buffer.clear();
        return 0;
    }
    // What arrived is what counts: packs beyond the bytes received are not read.
    buffer.resize(len);
    uint32_t field = static_cast<uint32_t>(buffer[0]) << 8 | buffer[1];
    if (field + 2 > len) foundation::WriteBE16(buffer.data(), len - 2);
    return 1;
}

int ReadModePage(FileHandle h, uint8_t page, uint8_t control, std::vector<uint8_t>& buffer) {
    buffer.clear();
    uint8_t head[8];
    uint32_t len = sizeof head;
    if (!ScsiModeSense10(h, page, control, head, len) || len < 8) return 0;
    if ((head[6] | head[7]) != 0) return 0;
    uint32_t size = (static_cast<uint32_t>(head[0]) << 8 | head[1]) + 2;
    if (size < 8) return 0;
    buffer.assign(size, 0);
    len = size;
    if (!ScsiModeSense10(h, page, control, buffer.data(), len) || len != size ||
        (static_cast<uint32_t>(buffer[0]) << 8 | buffer[1]) + 2 != size || (buffer[6] | buffer[7]) != 0) {
        buffer.clear();
        return 0;
    }
    return 1;
}

int ReadNextWritableAddress(FileHandle h, uint32_t track, bool mustBeEmpty, uint32_t& nwa, uint32_t& freeBlocks) {
    uint8_t info[48];
    uint32_t len = sizeof info;
    if (!ScsiReadTrackInfo(h, false, 1, track, info, len)) return 0;
    foundation::ByteCursor reply(info, len);
    if (!reply.Has(0, 20) || (info[7] & 1) == 0) return 0;
    uint32_t start = reply.Be32(8);
    uint32_t address = reply.Be32(12);
    freeBlocks = reply.Be32(16);
    // Some drives report the address of the pregap of an empty CD track.
    if (address != 0 && static_cast<uint64_t>(address) + 150 == start) address = start;
    nwa = address;
    if (mustBeEmpty && address != start) return 0;
    return 1;
}

int CheckNextWritableAddress(FileHandle h, uint32_t track, bool mustBeEmpty, uint32_t expected,
                             uint32_t neededBlocks) {
    uint32_t nwa = 0;
    uint32_t freeBlocks = 0;
    if (!ReadNextWritableAddress(h, track, mustBeEmpty, nwa, freeBlocks)) {
        foundation::BurnLog(true, foundation::GetLangString(kStringNwaQueryFailed,
                                                            u"Read next writable address failed(%08x)."),
                            static_cast<uint32_t>(g_ScsiLastError));
        return 0;
    }
    if (nwa != expected) {
        foundation::BurnLog(
            true,
            foundation::GetLangString(kStringNwaMismatch, u"Read next writable address failed(%d needed, %d available)."),
            static_cast<int32_t>(expected), static_cast<int32_t>(nwa));
        return 0;
    }
    if (freeBlocks < neededBlocks) {
        BurnLogNotEnoughSpace(true, freeBlocks, neededBlocks);
        return 0;
    }
    return 1;
}

bool IsDiscBlank(FileHandle h) {
    uint8_t info[42];
    uint32_t len = sizeof info;
    if (!ScsiReadDiscInfo(h, 0, info, len) || len < 3) return false;
    uint8_t status = info[2] & 3;
    return ((info[2] >> 2) & 3) == 0 && (status == 0 || status == 3);
}

bool IsFeatureCurrent(FileHandle h, uint16_t feature, uint32_t length) {
    uint8_t reply[64] = {};
    uint32_t len = std::clamp<uint32_t>(length, 16, sizeof reply);
    if (!ScsiGetConfiguration(h, 2, feature, reply, len)) return false;
    foundation::ByteCursor cursor(reply, len);
    if (!cursor.Has(0, 11)) return false;
    uint64_t total = static_cast<uint64_t>(cursor.Be32(0)) + 4;
    // A drive that ignores RT=2 answers with its profile list: the feature
    // returned must be the one asked for.
    return total >= 11 && cursor.Be16(8) == feature && (reply[10] & 1) != 0;
}

int CanReadCdText(FileHandle h) {
    uint8_t reply[16] = {};
    uint32_t len = sizeof reply;
    if (!ScsiGetConfiguration(h, 2, 0x1E, reply, len)) return -1;
    if (len < 13 || (static_cast<uint32_t>(reply[8]) << 8 | reply[9]) != 0x1E) return 0;
    return reply[12] & 1;
}

int GetPerformanceList(FileHandle h, uint8_t dataType, uint32_t lba, uint8_t type, std::vector<uint8_t>& buffer) {
    buffer.clear();
    uint8_t first[24];
    uint32_t len = sizeof first;
    if (!ScsiGetPerformance(h, dataType, lba, 1, type, first, len) || len < 8) return 0;
    uint64_t length = foundation::ByteCursor(first, len).Be32(0);
    constexpr uint64_t kMaxDescriptors = 65535;
    if (length < 5 || (length - 4) % 16 != 0 || (length - 4) / 16 > kMaxDescriptors) return 0;
    uint64_t size = length + 4;
    if (size == 24) {
        if (len < 24) return 0;
        buffer.assign(first, first + 24);
        return 1;
    }
    uint32_t descriptors = static_cast<uint32_t>((length - 4) / 16);
    buffer.assign(static_cast<size_t>(size), 0);
    len = static_cast<uint32_t>(size);
    if (!ScsiGetPerformance(h, dataType, lba, static_cast<uint16_t>(descriptors), type, buffer.data(), len) ||
        len < 8) {
        buffer.clear();
        return 0;
    }
    // Only whole descriptors that arrived count; a grown length field is
    // replaced by what was first announced (and what fits).
    uint64_t second = foundation::ByteCursor(buffer.data(), len).Be32(0);
    uint64_t whole = (len - 8) / 16 * 16 + 8;
    uint64_t keep = std::min<uint64_t>(std::min<uint64_t>(second + 4, size), whole);
    if (keep < 8 || (keep - 8) % 16 != 0) keep = whole;
    buffer.resize(static_cast<size_t>(keep));
    foundation::WriteBE32(buffer.data(), static_cast<uint32_t>(keep - 4));
    return 1;
}

int FindFormatCapacity(FileHandle h, uint8_t formatType, int choice, uint32_t& blocks, uint32_t& parameter) {
    if (choice < 0 || choice > 2) return 0;
    uint8_t reply[252];
    uint32_t len = sizeof reply;
    if (!ScsiReadFormatCapacities(h, reply, len) || len < 4) return 0;
    uint32_t descriptors = (reply[3] >> 3) & 0x1F;
    if (descriptors < 2) return 0;
    // Bytes 4..11 describe the current capacity; the formattable ones follow,
    // as many as both the list length and the bytes received hold.
    uint32_t available = len > 12 ? (len - 12) / 8 : 0;
    uint32_t count = std::min<uint32_t>({descriptors - 1, available, 30});
    bool found = false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* d = reply + 12 + i * 8;
        if ((d[4] >> 2) != formatType) continue;
        uint32_t b = static_cast<uint32_t>(d[0]) << 24 | d[1] << 16 | d[2] << 8 | d[3];
        uint32_t p = static_cast<uint32_t>(d[5]) << 16 | d[6] << 8 | d[7];
        if (!found || (choice == 1 && b > blocks) || (choice == 2 && b < blocks)) {
            blocks = b;
            parameter = p;
        }
        found = true;
        if (choice == 0) break;
    }
    return found ? 1 : 0;
}

namespace {
int ReadCapacityWith(FileHandle h, uint32_t blockLength, uint32_t& sectors) {
    uint8_t reply[8];
    if (!ScsiReadCapacity(h, reply)) return 0;
    foundation::ByteCursor cursor(reply, sizeof reply);
    uint32_t last = cursor.Be32(0);
    if (last == 0 || last == 0xFFFFFFFF || cursor.Be32(4) != blockLength) return 0;
    sectors = last + 1;
    return 1;
}
}  // namespace

int ReadCapacity2048(FileHandle h, uint32_t& sectors) { return ReadCapacityWith(h, 2048, sectors); }
int ReadCapacity512(FileHandle h, uint32_t& sectors) { return ReadCapacityWith(h, 512, sectors); }

int WaitUnitReady(FileHandle h, uint32_t seconds) {
    float factor = g_WriteSpeedFactor.load();
    uint64_t polls = seconds;
    if (factor > 0.5f && factor <= 1.5f) polls = static_cast<uint64_t>(seconds) * 2;
    else if (factor > 1.5f && factor < 2.5f) polls = static_cast<uint64_t>(seconds) * 3 / 2;
    for (uint64_t i = 0; i < polls; ++i) {
        uint8_t cdb[6] = {0x00};
        uint8_t sense[kFixedSenseBytes];
        if (SendNoData(h, cdb, 6, 100, sense, sizeof sense)) return 1;
        uint8_t key = sense[2] & 0x0F;
        if ((sense[0] & 0x70) == 0 && key == 0 && g_ScsiLastStatus != kStatusBusy) return 0;
        if (key == 2 && (sense[12] == 0x3A || sense[12] == 0x30)) return 0;
        if (key == 3) return 0;
        if (i + 1 < polls) DriveSleep(1000);
    }
    return 0;
}

int WriteSectorsChunked(FileHandle h, uint32_t lba, uint32_t sectorSize, uint32_t count, uint32_t& failedLba,
                        uint32_t chunkSectors) {
    if (chunkSectors == 0 || sectorSize == 0 || chunkSectors > 0xFFFF ||
        static_cast<uint64_t>(chunkSectors) * sectorSize > 16 * kOneMegabyte) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return 0;
    }
    std::vector<uint8_t> zeros(static_cast<size_t>(chunkSectors) * sectorSize, 0);
    uint32_t done = 0;
    while (done < count) {
        uint32_t now = std::min(chunkSectors, count - done);
        if (!ScsiWrite10(h, lba + done, zeros.data(), now * sectorSize, sectorSize)) {
            failedLba = lba + done;
            return 0;
        }
        done += now;
    }
    return 1;
}

int IsAreaBlankByRead(FileHandle h, uint32_t lba, uint32_t count, uint32_t sectorSize) {
    if (count == 0) return 1;
    if (sectorSize == 0 || sectorSize > 4096) return -1;
    std::vector<uint8_t> buffer(static_cast<size_t>(16) * sectorSize);
    uint32_t done = 0;
    while (done < count) {
        uint32_t now = std::min<uint32_t>(16, count - done);
        uint32_t len = now * sectorSize;
        uint32_t got = 0;
        if (!ScsiRead10(h, lba + done, static_cast<uint16_t>(now), buffer.data(), len, got) || got < now * sectorSize)
            return -1;
        if (std::any_of(buffer.begin(), buffer.begin() + got, [](uint8_t b) { return b != 0; })) return 0;
        done += now;
    }
    return 1;
}

int GetMaxWriteSpeed(FileHandle h, uint32_t& kbps) {
    std::vector<uint8_t> list;
    if (!GetPerformanceList(h, 4, 0, 0, list)) return 0;
    uint32_t best = 0;
    for (size_t at = 8; at + 16 <= list.size(); at += 16) {
        foundation::ByteCursor d(list.data() + at, 16);
        best = std::max({best, d.Be32(4), d.Be32(12)});
    }
    if (best == 0) return 0;
    kbps = best;
    return 1;
}

int FindNearestWriteSpeed(const std::vector<uint8_t>& list, uint32_t wanted) {
    int best = -1;
    uint64_t bestDistance = UINT64_MAX;
    int index = 0;
    for (size_t at = 8; at + 16 <= list.size(); at += 16, ++index) {
        uint32_t speed = foundation::ByteCursor(list.data() + at, 16).Be32(12);
        uint64_t distance = speed > wanted ? speed - wanted : wanted - speed;
        if (distance < bestDistance) {
            best = index;
            bestDistance = distance;
            if (distance == 0) break;
        }
    }
    return best;
}

int FindNearestPageWriteSpeed(const std::vector<uint8_t>& page, uint32_t wanted) {
    foundation::ByteCursor cursor(page.data(), page.size());
    if (!cursor.Has(0, 32)) return -1;
    // The count is capped by the page's own length and by the bytes present.
    uint64_t pageEnd = std::min<uint64_t>(static_cast<uint64_t>(page[1]) + 2, page.size());
    uint64_t count = cursor.Be16(30);
    if (pageEnd < 32) return -1;
    count = std::min<uint64_t>(count, (pageEnd - 32) / 4);
    int best = -1;
    uint64_t bestDistance = UINT64_MAX;
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t speed = cursor.Be16(32 + i * 4 + 2);
        uint64_t distance = speed > wanted ? speed - wanted : wanted - speed;
        if (distance < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
            if (distance == 0) break;
        }
    }
    return best;
}

}  // namespace optical
