#include "foundation/dates.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <limits>

#include "foundation/settings.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace foundation {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// ECMA-119 8.4.26.1: the offset byte holds -48 (west, -12:00) to +52 (+13:00).
constexpr int kMinOffsetUnits = -48;
constexpr int kMaxOffsetUnits = 52;
constexpr int64_t kSecondsPerOffsetUnit = 900;

// Days since 1970-01-01 of a proleptic Gregorian date, for any 64-bit year the
// callers hand in (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
    int64_t year;
    int month;
    int day;
};

CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return CivilDate{yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int64_t year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[month - 1];
}

// Floor division: for moments before 1970 the day starts before the moment.
int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// A broken-down date with its offset from UTC in 15-minute units.
struct DateFields {
    int64_t year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int offsetUnits = 0;
};

bool FieldsInRange(int64_t year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

int64_t FieldsToUtcSeconds(int64_t year, int month, int day, int hour, int minute, int second) {
    return DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

// Moments this far out lie beyond every date field (year 9999 is about
// 2.5e11 s away); holding them here keeps the calendar arithmetic in range.
constexpr int64_t kFarthestSeconds = 10000000000000LL;

DateFields UtcFields(int64_t seconds) {
    if (seconds > kFarthestSeconds) seconds = kFarthestSeconds;
    if (seconds < -kFarthestSeconds) seconds = -kFarthestSeconds;
    const int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const int64_t inDay = seconds - days * kSecondsPerDay;
    const CivilDate date = CivilFromDays(days);
    DateFields f;
    f.year = date.year;
    f.month = date.month;
    f.day = date.day;
    f.hour = static_cast<int>(inDay / 3600);
    f.minute = static_cast<int>(inDay / 60 % 60);
    f.second = static_cast<int>(inDay % 60);
    f.offsetUnits = 0;
    return f;
}

bool LocalTm(int64_t seconds, struct tm& out) {
    if (seconds < std::numeric_limits<time_t>::min() || seconds > std::numeric_limits<time_t>::max())
        return false;
    const time_t t = static_cast<time_t>(seconds);
    return localtime_r(&t, &out) != nullptr;
}

// The local fields of a moment with the offset in force at that moment. A zone
// offset the offset byte cannot carry gives the UTC fields with offset 0, so
// that reading the date back gives the same moment.
DateFields LocalFields(int64_t seconds) {
    if (seconds > kFarthestSeconds || seconds < -kFarthestSeconds) return UtcFields(seconds);
    struct tm lt {};
    if (!LocalTm(seconds, lt)) return UtcFields(seconds);
    const int64_t offset = lt.tm_gmtoff;
    if (offset % kSecondsPerOffsetUnit != 0) return UtcFields(seconds);
    const int64_t units = offset / kSecondsPerOffsetUnit;
    if (units < kMinOffsetUnits || units > kMaxOffsetUnits) return UtcFields(seconds);
    DateFields f = UtcFields(seconds + offset);
    f.offsetUnits = static_cast<int>(units);
    return f;
}

// Fields of the moment held to [minYear, maxYear]: out-of-range moments become
// the first or last second of the range in UTC.
DateFields LocalFieldsWithin(int64_t seconds, int64_t minYear, int64_t maxYear) {
    DateFields f = LocalFields(seconds);
    if (f.year < minYear) {
        f = DateFields{};
        f.year = minYear;
    } else if (f.year > maxYear) {
        f = DateFields{maxYear, 12, 31, 23, 59, 59, 0};
    }
    return f;
}

int OffsetUnitsFromByte(uint8_t b) {
    const int units = static_cast<int8_t>(b);
    return (units < kMinOffsetUnits || units > kMaxOffsetUnits) ? 0 : units;
}

int64_t CurrentTime() { return static_cast<int64_t>(time(nullptr)); }

int64_t ReadTimeFixedSetting() { return ReadSettingDword(u"TimeFixed", 0); }

}  // namespace

FILETIME UnixTimeToFileTime(int64_t seconds) {
    constexpr int64_t kMaxSeconds =
        static_cast<int64_t>(std::numeric_limits<uint64_t>::max() / kFileTimeTicksPerSecond) -
        kFileTimeEpochOffsetSeconds;
    if (seconds < -kFileTimeEpochOffsetSeconds) return FILETIME{};
    if (seconds > kMaxSeconds) return FileTimeFromTicks(std::numeric_limits<uint64_t>::max());
    const uint64_t since1601 = static_cast<uint64_t>(seconds + kFileTimeEpochOffsetSeconds);
    return FileTimeFromTicks(since1601 * static_cast<uint64_t>(kFileTimeTicksPerSecond));
}

int64_t FileTimeToUnixTime(const FILETIME& fileTime) {
    return static_cast<int64_t>(FileTimeTicks(fileTime) / kFileTimeTicksPerSecond) -
           kFileTimeEpochOffsetSeconds;
}

int32_t ClampUnixTimeTo32(int64_t seconds) {
    if (seconds < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (seconds > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(seconds);
}

int64_t GetUtcOffsetSecondsAt(int64_t seconds) {
    struct tm lt {};
    if (!LocalTm(seconds, lt)) return 0;
    return lt.tm_gmtoff;
}

int64_t GetUtcOffsetSeconds() { return GetUtcOffsetSecondsAt(CurrentTime()); }

bool UnixTimeToIsoRecordDate(int64_t seconds, std::span<uint8_t> out) {
    if (out.size() < kIsoRecordDateSize) return false;
    // Years since 1900 in one byte: 1900 to 2155.
    const DateFields f = LocalFieldsWithin(seconds, 1900, 2155);
    out[0] = static_cast<uint8_t>(f.year - 1900);
    out[1] = static_cast<uint8_t>(f.month);
    out[2] = static_cast<uint8_t>(f.day);
    out[3] = static_cast<uint8_t>(f.hour);
    out[4] = static_cast<uint8_t>(f.minute);
    out[5] = static_cast<uint8_t>(f.second);
    out[6] = static_cast<uint8_t>(static_cast<int8_t>(f.offsetUnits));
    return true;
}

bool FileTimeToIsoRecordDate(const FILETIME& fileTime, std::span<uint8_t> out) {
    const uint64_t ticks = FileTimeTicks(fileTime);
    const int64_t seconds = (ticks >> 63) != 0 ? CurrentTime() : FileTimeToUnixTime(fileTime);
    return UnixTimeToIsoRecordDate(seconds, out);
}

int64_t IsoRecordDateToUnixTime(std::span<const uint8_t> date) {
    if (date.size() < kIsoRecordDateSize) return 0;
    const int64_t year = 1900 + static_cast<int64_t>(date[0]);
    if (!FieldsInRange(year, date[1], date[2], date[3], date[4], date[5])) return 0;
    return FieldsToUtcSeconds(year, date[1], date[2], date[3], date[4], date[5]) -
           OffsetUnitsFromByte(date[6]) * kSecondsPerOffsetUnit;
}

bool IsoRecordDateToFileTime(std::span<const uint8_t> date, FILETIME& out) {
    out = FILETIME{};
    if (date.size() < kIsoRecordDateSize) return false;
    const int64_t year = 1900 + static_cast<int64_t>(date[0]);
    if (!FieldsInRange(year, date[1], date[2], date[3], date[4], date[5])) return false;
    out = UnixTimeToFileTime(IsoRecordDateToUnixTime(date));
    return true;
}

bool UnixTimeToIsoVolumeDate(int64_t seconds, std::span<uint8_t> out) {
    if (out.size() < kIsoVolumeDateSize) return false;
    const DateFields f = LocalFieldsWithin(seconds, 1, 9999);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d00", static_cast<int>(f.year),
                  f.month, f.day, f.hour, f.minute, f.second);
    for (size_t i = 0; i < 16; ++i) out[i] = static_cast<uint8_t>(digits[i]);
    out[16] = static_cast<uint8_t>(static_cast<int8_t>(f.offsetUnits));
    return true;
}

int64_t IsoVolumeDateToUnixTime(std::span<const uint8_t> date) {
    if (date.size() < kIsoVolumeDateSize) return 0;
    for (size_t i = 0; i < 14; ++i) {
        if (date[i] < '0' || date[i] > '9') return 0;
    }
    auto number = [&](size_t at, size_t count) {
        int value = 0;
        for (size_t i = 0; i < count; ++i) value = value * 10 + (date[at + i] - '0');
        return value;
    };
    const int year = number(0, 4);
    if (year == 0) return 0;
    const int month = number(4, 2), day = number(6, 2);
    const int hour = number(8, 2), minute = number(10, 2), second = number(12, 2);
    if (!FieldsInRange(year, month, day, hour, minute, second)) return 0;
    return FieldsToUtcSeconds(year, month, day, hour, minute, second) -
           OffsetUnitsFromByte(date[16]) * kSecondsPerOffsetUnit;
}

std::u16string FormatRecordDateText(std::span<const uint8_t> date) {
    if (date.size() < kIsoRecordDateSize) return std::u16string();
    int64_t year = 1900 + static_cast<int64_t>(date[0]);
    int month = date[1], day = date[2], hour = date[3], minute = date[4];
    if (FieldsInRange(year, date[1], date[2], date[3], date[4], date[5])) {
        const DateFields local = LocalFields(IsoRecordDateToUnixTime(date));
        year = local.year;
        month = local.month;
        day = local.day;
        hour = local.hour;
        minute = local.minute;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%02d-%02d-%02d %02d:%02d", static_cast<int>(year), month, day, hour,
                  minute);
    std::u16string result;
    for (const char* p = text; *p; ++p) result.push_back(static_cast<char16_t>(*p));
    return result;
}

bool FileTimeToSystemTime(const FILETIME& fileTime, SYSTEMTIME& out) {
    const uint64_t ticks = FileTimeTicks(fileTime);
    if ((ticks >> 63) != 0) return false;
    const int64_t seconds = FileTimeToUnixTime(fileTime);
    const DateFields f = UtcFields(seconds);
    if (f.year < 1601 || f.year > 30827) return false;
    out.wYear = static_cast<uint16_t>(f.year);
    out.wMonth = static_cast<uint16_t>(f.month);
    out.wDay = static_cast<uint16_t>(f.day);
    out.wHour = static_cast<uint16_t>(f.hour);
    out.wMinute = static_cast<uint16_t>(f.minute);
    out.wSecond = static_cast<uint16_t>(f.second);
    out.wMilliseconds = static_cast<uint16_t>(ticks % kFileTimeTicksPerSecond / 10000);
    // 1970-01-01 was a Thursday.
    out.wDayOfWeek = static_cast<uint16_t>(((FloorDiv(seconds, kSecondsPerDay) + 4) % 7 + 7) % 7);
    return true;
}

bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME& out) {
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMilliseconds > 999) return false;
    if (!FieldsInRange(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond)) return false;
    const int64_t seconds = FieldsToUtcSeconds(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    const uint64_t ticks =
        static_cast<uint64_t>(seconds + kFileTimeEpochOffsetSeconds) * kFileTimeTicksPerSecond +
        static_cast<uint64_t>(st.wMilliseconds) * 10000;
    out = FileTimeFromTicks(ticks);
    return true;
}

bool LocalToUtcSystemTime(const SYSTEMTIME& local, SYSTEMTIME& utc) {
    if (local.wMilliseconds > 999) return false;
    if (!FieldsInRange(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond))
        return false;
    // The local fields read as if they were UTC; the moment is that minus the
    // offset in force at the moment itself. Zone changes lie more than a day
    // apart, so the offsets a day before and after are the only candidates.
    const int64_t asUtc =
        FieldsToUtcSeconds(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond);
    const int64_t before = asUtc - GetUtcOffsetSecondsAt(asUtc - kSecondsPerDay);
    const int64_t after = asUtc - GetUtcOffsetSecondsAt(asUtc + kSecondsPerDay);
    const bool beforeFits = before + GetUtcOffsetSecondsAt(before) == asUtc;
    const bool afterFits = after + GetUtcOffsetSecondsAt(after) == asUtc;
    int64_t moment;
    if (beforeFits && afterFits)
        moment = before < after ? before : after;   // repeated hour: the first of the two
    else if (afterFits)
        moment = after;
    else
        moment = before;                            // skipped hour: read with the old offset
    FILETIME ft = UnixTimeToFileTime(moment);
    ft = FileTimeFromTicks(FileTimeTicks(ft) + static_cast<uint64_t>(local.wMilliseconds) * 10000);
    return FileTimeToSystemTime(ft, utc);
}

int StatFileW(std::u16string_view path, FileStatus& status) {
    status = FileStatus{};
    std::string narrow;
    if (!platform::Utf16ToUtf8Strict(path, narrow)) return -1;
    struct stat st {};
    if (::stat(narrow.c_str(), &st) != 0) {
        platform::SetLastErrorFromErrno();
        return -1;
    }
    status.sizeBytes = static_cast<uint64_t>(st.st_size);
    status.modifiedTime = st.st_mtim.tv_sec;
    status.accessedTime = st.st_atim.tv_sec;
    status.changedTime = st.st_ctim.tv_sec;
    status.isDirectory = S_ISDIR(st.st_mode);
    status.isReadOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return 0;
}

int64_t GetFixedTime() {
    const int64_t fixed = ReadTimeFixedSetting();
    return fixed != 0 ? fixed : CurrentTime();
}

int64_t GetNewItemTime(int64_t documentFixedTime) {
    return documentFixedTime != 0 ? documentFixedTime : GetFixedTime();
}

}  // namespace foundation
