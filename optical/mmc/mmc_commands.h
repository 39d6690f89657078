#pragma once
// One builder per drive command (MMC/SPC), each filling a zeroed CDB and
// handing it to ExecuteScsiCommand, and the composite operations built on
// them: the two-step reads of variable-length replies, the busy and
// transient retries, the unit-ready poll. Every count a drive reports is
// capped by the bytes it actually sent before it is used.

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace optical {

using platform::FileHandle;

// The selected write speed as a multiple of the medium's 1x; 256 = maximum.
extern std::atomic<float> g_WriteSpeedFactor;
// Set while the CD-TEXT lead-in is written.
extern std::atomic<bool> g_WritingLeadIn;
// The first busy retry of the process waits a second instead of 100 ms.
extern std::atomic<bool> g_FirstWriteRetry;
// Tests: the three values back to their start.
void ResetMmcState();

// Language strings of the address checks.
constexpr int kStringNwaQueryFailed = 32270;
constexpr int kStringNwaMismatch = 32280;

// Plain builders: 1 success, 0 failure; len is in/out as in ExecuteScsiCommand.
int ScsiInquiry(FileHandle h, void* buf, uint32_t& len);
int ScsiTestUnitReady(FileHandle h);
int ScsiReadToc(FileHandle h, bool msf, uint8_t format, void* buf, uint32_t& len);
int ScsiModeSense10(FileHandle h, uint8_t page, uint8_t control, void* buf, uint32_t& len);
int ScsiModeSelect10(FileHandle h, void* buf, uint32_t& len);
int ScsiReadDiscInfo(FileHandle h, uint8_t type, void* buf, uint32_t& len);
int ScsiReadTrackInfo(FileHandle h, bool open, uint8_t addressType, uint32_t number, void* buf, uint32_t& len);
int ScsiReadDiscStructure(FileHandle h, uint8_t mediaType, uint32_t address, uint8_t layer, uint8_t format,
                          void* buf, uint32_t& len);
int ScsiSendCueSheet(FileHandle h, void* buf, uint32_t& len);
int ScsiFormatUnit(FileHandle h, uint32_t blocks, uint8_t formatType, uint8_t subType, uint32_t parameter,
                   uint8_t options, uint32_t readySeconds);
int ScsiSynchronizeCache(FileHandle h, bool immed);
int ScsiBlank(FileHandle h, bool immed, uint8_t type, uint32_t readySeconds);
int ScsiSetCdSpeed(FileHandle h, uint8_t rotation, uint16_t readSpeed, uint16_t writeSpeed);
int ScsiSetStreaming(FileHandle h, uint8_t type, void* buf, uint32_t& len);
int ScsiSendOpcInfo(FileHandle h);
int ScsiStartStopUnit(FileHandle h, bool start, bool loadEject);
int ScsiCloseTrackSession(FileHandle h, bool immed, uint8_t function, uint16_t track);
// On failure the system error comes from the sense (default 1117).
int ScsiRead10(FileHandle h, uint32_t lba, uint16_t count, void* buf, uint32_t& len, uint32_t& got);
int ScsiReadCd(FileHandle h, uint32_t lba, uint32_t count, void* buf, uint32_t& len, uint32_t& got);
// byteCount / sectorSize sectors, retried while the drive is busy (bounded by
// ten minutes of unbroken busy) or transiently unready (300 times). A sector
// size of 0 or more than 65535 sectors is refused with error 87.
int ScsiWrite10(FileHandle h, uint32_t lba, const void* buffer, uint32_t byteCount, uint32_t sectorSize);
int ScsiGetConfiguration(FileHandle h, uint8_t rt, uint16_t feature, void* buf, uint32_t& len);
int ScsiGetPerformance(FileHandle h, uint8_t dataType, uint32_t lba, uint16_t count, uint8_t type, void* buf,
                       uint32_t& len);
int ScsiReadFormatCapacities(FileHandle h, void* buf, uint32_t& len);
int ScsiReadCapacity(FileHandle h, uint8_t (&reply)[8]);
int ScsiReserveTrack(FileHandle h, uint32_t blocks);
// text: 14 digits YYYYMMDDhhmmss; any other length sends nothing.
int ScsiSendTimeStamp(FileHandle h, std::string_view text);

// Composites.
int ReadCdTextPacks(FileHandle h, std::vector<uint8_t>& buffer);
int ReadModePage(FileHandle h, uint8_t page, uint8_t control, std::vector<uint8_t>& buffer);
int ReadNextWritableAddress(FileHandle h, uint32_t track, bool mustBeEmpty, uint32_t& nwa, uint32_t& freeBlocks);
int CheckNextWritableAddress(FileHandle h, uint32_t track, bool mustBeEmpty, uint32_t expected,
                             uint32_t neededBlocks);
bool IsDiscBlank(FileHandle h);
bool IsFeatureCurrent(FileHandle h, uint16_t feature, uint32_t length);
// 1 or 0 by the CD read feature's CD-Text bit; -1 when the command fails.
int CanReadCdText(FileHandle h);
// Descriptors of GET PERFORMANCE, header included (capped at 65535 descriptors).
int GetPerformanceList(FileHandle h, uint8_t dataType, uint32_t lba, uint8_t type, std::vector<uint8_t>& buffer);
// choice 0 first match, 1 largest, 2 smallest.
int FindFormatCapacity(FileHandle h, uint8_t formatType, int choice, uint32_t& blocks, uint32_t& parameter);
int ReadCapacity2048(FileHandle h, uint32_t& sectors);
int ReadCapacity512(FileHandle h, uint32_t& sectors);
int WaitUnitReady(FileHandle h, uint32_t seconds);
// chunkSectors 0 is refused.
int WriteSectorsChunked(FileHandle h, uint32_t lba, uint32_t sectorSize, uint32_t count, uint32_t& failedLba,
                        uint32_t chunkSectors);
// 1 all zero, 0 a nonzero byte, -1 a failed or short read.
int IsAreaBlankByRead(FileHandle h, uint32_t lba, uint32_t count, uint32_t sectorSize);

// The speed setters and their helpers.
int GetMaxWriteSpeed(FileHandle h, uint32_t& kbps);
// Index of the descriptor nearest to wanted in a GET PERFORMANCE write-speed
// list (header included), -1 when it holds none.
int FindNearestWriteSpeed(const std::vector<uint8_t>& list, uint32_t wanted);
// The same over mode page 0x2A's write-speed descriptors (the page from its code byte).
int FindNearestPageWriteSpeed(const std::vector<uint8_t>& page, uint32_t wanted);

}  // namespace optical
