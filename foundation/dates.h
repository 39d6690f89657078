#pragma once
// The program's time forms and the conversions between them:
//   - seconds since 1970-01-01 00:00 UTC, 64-bit inside the program (32-bit only
//     where an on-disk field is 32-bit, through ClampUnixTimeTo32);
//   - FILETIME, 100-nanosecond units since 1601-01-01 UTC;
//   - the 7-byte ISO 9660 directory-record date (ECMA-119 9.1.5): years since
//     1900, month, day, hour, minute, second, offset from GMT in 15-minute units;
//   - the 17-byte ISO 9660 volume date (ECMA-119 8.4.26.1): 16 ASCII digits
//     YYYYMMDDhhmmsscc and the same offset byte; all zero digits means not set.
//
// Local time is always the zone's offset in force at the moment converted (a
// summer date written in winter keeps its summer offset), never "the offset now".
// Dates read from a disc are the recorded fields minus the recorded offset, so
// the local zone of the reading machine plays no part.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace foundation {

constexpr size_t kIsoRecordDateSize = 7;
constexpr size_t kIsoVolumeDateSize = 17;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kFileTimeEpochOffsetSeconds = 11644473600LL;
constexpr int64_t kFileTimeTicksPerSecond = 10000000LL;

// The Windows FILETIME layout (it also travels in property values of the
// archive library).
struct FILETIME {
    uint32_t dwLowDateTime = 0;
    uint32_t dwHighDateTime = 0;
};
inline uint64_t FileTimeTicks(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME FileTimeFromTicks(uint64_t ticks) {
    return FILETIME{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

// The Windows SYSTEMTIME layout: broken-down calendar time.
struct SYSTEMTIME {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;        // 1-12
    uint16_t wDayOfWeek = 0;    // 0 Sunday
    uint16_t wDay = 0;          // 1-31
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
};

// (seconds + 11644473600) x 10,000,000, held inside FILETIME's range (a moment
// before 1601 gives 0).
FILETIME UnixTimeToFileTime(int64_t seconds);
// FILETIME / 10,000,000 - 11644473600, rounded down to whole seconds.
int64_t FileTimeToUnixTime(const FILETIME& fileTime);
// For on-disk fields that hold signed 32-bit seconds: held at the field's
// limits instead of wrapping (a 2040 date stays in the future).
int32_t ClampUnixTimeTo32(int64_t seconds);

// Local time minus UTC now, in seconds.
int64_t GetUtcOffsetSeconds();
// Local time minus UTC at the given moment (daylight saving as it was then).
int64_t GetUtcOffsetSecondsAt(int64_t seconds);

// The local date and time of the moment, with the offset byte of that moment.
// A zone offset that the byte cannot carry (not a multiple of 15 minutes, or
// beyond ECMA-119's -48..+52) is written as UTC with offset 0, so the moment
// stays exact; moments outside 1900-2155 are held at the field's limits. False
// when out holds fewer than 7 bytes.
bool UnixTimeToIsoRecordDate(int64_t seconds, std::span<uint8_t> out);
// The same for a FILETIME. A FILETIME the system cannot convert (top bit set)
// is replaced by the current time.
bool FileTimeToIsoRecordDate(const FILETIME& fileTime, std::span<uint8_t> out);
// Seconds of the recorded moment: the fields as UTC minus offset x 900 s. A date
// whose fields are out of range (month 13, day 0, Feb 30, hour 24), or fewer
// than 7 bytes, gives 0. An offset byte outside -48..+52 counts as 0.
int64_t IsoRecordDateToUnixTime(std::span<const uint8_t> date);
// The recorded moment as a FILETIME (UTC); false (and 0) for an invalid date.
bool IsoRecordDateToFileTime(std::span<const uint8_t> date, FILETIME& out);

// "%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d00" of the local date and time, then the offset
// byte, with the same rules as the record date (years held to 0001-9999).
// False when out holds fewer than 17 bytes.
bool UnixTimeToIsoVolumeDate(int64_t seconds, std::span<uint8_t> out);
// Seconds of the recorded moment; 0 when the date is not set (year 0), when one
// of its first 14 characters is not a digit, or when a field is out of range.
// The hundredths are not looked at. An offset byte outside -48..+52 counts as 0.
int64_t IsoVolumeDateToUnixTime(std::span<const uint8_t> date);

// "YYYY-MM-DD hh:mm" of the recorded moment in local time. A date with fields
// out of range shows its raw fields.
std::u16string FormatRecordDateText(std::span<const uint8_t> date);

// Calendar helpers in UTC. False for times outside years 1601-30827 (the range
// SYSTEMTIME holds).
bool FileTimeToSystemTime(const FILETIME& fileTime, SYSTEMTIME& out);
bool SystemTimeToFileTime(const SYSTEMTIME& systemTime, FILETIME& out);
// A local calendar time to UTC, with the zone rules of that date. A local time
// inside a skipped hour comes out one hour later; one inside a repeated hour
// is taken as the first (daylight-saving) one. False for invalid fields.
bool LocalToUtcSystemTime(const SYSTEMTIME& local, SYSTEMTIME& utc);

// The file status the rest of the program reads of a host file (symlinks are
// followed, as the runtime's file status call would).
struct FileStatus {
    uint64_t sizeBytes = 0;
    int64_t modifiedTime = 0;   // seconds since 1970
    int64_t accessedTime = 0;
    int64_t changedTime = 0;    // status change (there is no creation time)
    bool isDirectory = false;
    bool isReadOnly = false;    // no write permission bit at all
};
// 0 with the status filled, -1 when the path's status cannot be read (last
// error set).
int StatFileW(std::u16string_view path, FileStatus& status);

// The "TimeFixed" setting when nonzero, else the current time. Reproducible
// builds set it so that every new item and volume date is the same.
int64_t GetFixedTime();
// The open document's fixed time when it has one (nonzero), else GetFixedTime.
int64_t GetNewItemTime(int64_t documentFixedTime);

}  // namespace foundation
