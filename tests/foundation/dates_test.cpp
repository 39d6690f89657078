#include "foundation/dates.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "foundation/byte_cursor.h"
#include "foundation/settings.h"
#include "platform/last_error.h"
#include "tests/support/test_support.h"

namespace {

using namespace foundation;
using qvtest::RunOk;
using qvtest::ShellQuote;

// Sets TZ for the duration of a scope; tests run one per process, so this
// touches nobody else.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const std::string& zone) {
        const char* old = std::getenv("TZ");
        if (old) saved_ = old, hadValue_ = true;
        setenv("TZ", zone.c_str(), 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (hadValue_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool hadValue_ = false;
};

const char* const kZones[] = {"UTC", "Asia/Shanghai", "America/New_York"};

// Moments the tests stamp: both daylight-saving seasons and one after 2038.
constexpr int64_t kWorkedExample = 1331778600;      // 2012-03-15 02:30:00 UTC
constexpr int64_t kSummer = 1341403200;           // 2012-07-04 12:00:00 UTC
constexpr int64_t kWinter = 1325678400;           // 2012-01-04 12:00:00 UTC
constexpr int64_t kAfter2038 = 2219900889;        // 2040-05-06 07:08:09 UTC

using RecordDate = std::array<uint8_t, 7>;
using VolumeDate = std::array<uint8_t, 17>;

RecordDate Record(std::initializer_list<int> fields) {
    RecordDate d{};
    size_t i = 0;
    for (int f : fields) d[i++] = static_cast<uint8_t>(f);
    return d;
}

VolumeDate Volume(const char* digits, int offset) {
    VolumeDate d{};
    for (size_t i = 0; i < 16; ++i) d[i] = static_cast<uint8_t>(digits[i]);
    d[16] = static_cast<uint8_t>(static_cast<int8_t>(offset));
    return d;
}

// The 7-byte dates of the files in an image's root directory, by ISO name
// without the version ("SUMMER."), read with the byte cursor.
std::map<std::string, RecordDate> RootRecordDates(const std::string& isoPath) {
    std::map<std::string, RecordDate> dates;
    const std::vector<uint8_t> image = qvtest::ReadFileBytes(isoPath);
    ByteCursor whole{std::span<const uint8_t>(image)};
    auto pvd = whole.Sub(16 * 2048, 2048);
    if (!pvd) return dates;
    const uint32_t extent = pvd->Both32(156 + 2);
    const uint32_t size = pvd->Both32(156 + 10);
    auto dir = whole.Sub(uint64_t{extent} * 2048, size);
    if (!dir) return dates;
    while (!dir->AtEnd()) {
        const uint8_t length = dir->U8(dir->Position());
        if (length == 0) break;
        auto rec = dir->Take(length);
        if (!rec) break;
        const uint8_t nameLength = rec->U8(32);
        auto name = rec->Span(33, nameLength);
        RecordDate date{};
        if (!name || !rec->CopyTo(18, date.data(), date.size())) break;
        std::string text(name->begin(), name->end());
        text = text.substr(0, text.find(';'));
        dates[text] = date;
    }
    return dates;
}

VolumeDate VolumeDateAt(const std::string& isoPath, uint64_t offsetInPvd) {
    const std::vector<uint8_t> image = qvtest::ReadFileBytes(isoPath);
    VolumeDate d{};
    ByteCursor whole{std::span<const uint8_t>(image)};
    EXPECT_TRUE(whole.CopyTo(16 * 2048 + offsetInPvd, d.data(), d.size()));
    return d;
}

// What date(1) says the local fields and offset of a moment are in a zone:
// "YYYY MM DD hh mm ss +hhmm".
struct DateOfTool {
    int year, month, day, hour, minute, second, offsetMinutes;
};
DateOfTool LocalDateFromTool(const std::string& zone, int64_t t) {
    const std::string out = RunOk("TZ=" + ShellQuote(zone) + " date -d @" + std::to_string(t) +
                                  " '+%Y %m %d %H %M %S %z'");
    DateOfTool d{};
    char sign = '+';
    int hhmm = 0;
    std::sscanf(out.c_str(), "%d %d %d %d %d %d %c%d", &d.year, &d.month, &d.day, &d.hour, &d.minute,
                &d.second, &sign, &hhmm);
    d.offsetMinutes = (hhmm / 100 * 60 + hhmm % 100) * (sign == '-' ? -1 : 1);
    return d;
}

void MakeStampedFolder(const qvtest::TempDir& dir, bool withLate) {
    RunOk("mkdir -p " + ShellQuote(dir / "src"));
    RunOk("touch -d '2012-03-15 02:30:00 UTC' " + ShellQuote(dir / "src/f"));
    RunOk("touch -d '2012-07-04 12:00:00 UTC' " + ShellQuote(dir / "src/summer"));
    RunOk("touch -d '2012-01-04 12:00:00 UTC' " + ShellQuote(dir / "src/winter"));
    if (withLate) RunOk("touch -d '2040-05-06 07:08:09 UTC' " + ShellQuote(dir / "src/late"));
}

TEST(Dates, FileTimeArithmetic) {
    EXPECT_EQ(FileTimeTicks(UnixTimeToFileTime(0)), 116444736000000000ull);
    EXPECT_EQ(FileTimeToUnixTime(FileTimeFromTicks(116444736000000000ull)), 0);
    // Python: (datetime(2040,5,6,7,8,9) - datetime(1601,1,1)).total_seconds() * 10**7
    const std::string python = RunOk(
        "python3 -c 'import datetime as d; print(int((d.datetime(2040,5,6,7,8,9) - "
        "d.datetime(1601,1,1)).total_seconds()) * 10**7)'");
    EXPECT_EQ(FileTimeTicks(UnixTimeToFileTime(kAfter2038)), std::stoull(python));
    EXPECT_EQ(FileTimeToUnixTime(FileTimeFromTicks(std::stoull(python) + 9999999)), kAfter2038);
    // Before 1601 holds at FILETIME 0; sub-second parts round down.
    EXPECT_EQ(FileTimeTicks(UnixTimeToFileTime(-kFileTimeEpochOffsetSeconds - 1)), 0u);
    EXPECT_EQ(FileTimeToUnixTime(FileTimeFromTicks(0)), -kFileTimeEpochOffsetSeconds);
    EXPECT_EQ(FileTimeTicks(UnixTimeToFileTime(INT64_MAX)), UINT64_MAX);
}

TEST(Dates, ClampToThirtyTwoBitsInsteadOfWrapping) {
    EXPECT_EQ(ClampUnixTimeTo32(kAfter2038), INT32_MAX);
    EXPECT_EQ(ClampUnixTimeTo32(-kAfter2038), INT32_MIN);
    EXPECT_EQ(ClampUnixTimeTo32(kSummer), static_cast<int32_t>(kSummer));
}

TEST(Dates, OffsetInForceAtTheMoment) {
    ScopedTimeZone zone("America/New_York");
    EXPECT_EQ(GetUtcOffsetSecondsAt(kSummer), -4 * 3600);
    EXPECT_EQ(GetUtcOffsetSecondsAt(kWinter), -5 * 3600);
    EXPECT_EQ(GetUtcOffsetSecondsAt(kAfter2038), -4 * 3600);
    const int64_t now = GetUtcOffsetSeconds();
    EXPECT_TRUE(now == -4 * 3600 || now == -5 * 3600);
}

TEST(Dates, RecordDateOfTheSpecExampleReadsTheSameInEveryZone) {
    for (const char* zoneName : kZones) {
        ScopedTimeZone zone(zoneName);
        EXPECT_EQ(IsoRecordDateToUnixTime(Record({112, 3, 15, 10, 30, 0, 32})), kWorkedExample) << zoneName;
        FILETIME ft;
        ASSERT_TRUE(IsoRecordDateToFileTime(Record({112, 3, 15, 10, 30, 0, 32}), ft));
        EXPECT_EQ(FileTimeTicks(ft), FileTimeTicks(UnixTimeToFileTime(kWorkedExample))) << zoneName;
    }
}

TEST(Dates, RecordDatesOutOfRangeReadAsNotSet) {
    struct Row {
        const char* name;
        RecordDate date;
    };
    const Row rows[] = {
        {"all zero", Record({0, 0, 0, 0, 0, 0, 0})},
        {"month 13", Record({112, 13, 1, 0, 0, 0, 0})},
        {"day 0", Record({112, 3, 0, 0, 0, 0, 0})},
        {"Feb 30", Record({112, 2, 30, 0, 0, 0, 0})},
        {"Feb 29 of a common year", Record({113, 2, 29, 0, 0, 0, 0})},
        {"hour 24", Record({112, 3, 1, 24, 0, 0, 0})},
        {"minute 60", Record({112, 3, 1, 0, 60, 0, 0})},
        {"second 60", Record({112, 3, 1, 0, 0, 60, 0})},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsoRecordDateToUnixTime(row.date), 0) << row.name;
        FILETIME ft = FileTimeFromTicks(5);
        EXPECT_FALSE(IsoRecordDateToFileTime(row.date, ft)) << row.name;
        EXPECT_EQ(FileTimeTicks(ft), 0u) << row.name;
    }
    EXPECT_EQ(IsoRecordDateToUnixTime(Record({112, 2, 29, 0, 0, 0, 0})), 1330473600);  // a leap day
    // Too short a span.
    const uint8_t six[6] = {112, 3, 15, 10, 30, 0};
    EXPECT_EQ(IsoRecordDateToUnixTime(six), 0);
}

TEST(Dates, OffsetBytesOutsideTheStandardRangeCountAsZero) {
    const int64_t utc = IsoRecordDateToUnixTime(Record({112, 3, 15, 2, 30, 0, 0}));
    EXPECT_EQ(utc, kWorkedExample);
    EXPECT_EQ(IsoRecordDateToUnixTime(Record({112, 3, 15, 2, 30, 0, 53})), utc);
    EXPECT_EQ(IsoRecordDateToUnixTime(Record({112, 3, 15, 2, 30, 0, -49})), utc);
    EXPECT_EQ(IsoRecordDateToUnixTime(Record({112, 3, 15, 2, 30, 0, 52})), utc - 52 * 900);
    EXPECT_EQ(IsoRecordDateToUnixTime(Record({112, 3, 15, 2, 30, 0, -48})), utc + 48 * 900);
    EXPECT_EQ(IsoVolumeDateToUnixTime(Volume("2012031502300000", 100)), utc);
}

// genisoimage writes each file's local date with the offset of that moment;
// xorriso writes UTC. Both must read back as the stamped moment whatever zone
// the image was made in and whatever zone reads it.
TEST(Dates, RecordDatesOfImagesMadeByRealToolsInEveryZone) {
    qvtest::TempDir dir;
    MakeStampedFolder(dir, true);
    const std::map<std::string, int64_t> expected = {
        {"F.", kWorkedExample}, {"SUMMER.", kSummer}, {"WINTER.", kWinter}, {"LATE.", kAfter2038}};
    for (const char* writerZone : kZones) {
        const std::string genIso = dir / (std::string("g") + std::to_string(&writerZone - kZones) + ".iso");
        RunOk("cd " + ShellQuote(dir.path()) + " && TZ=" + writerZone + " genisoimage -quiet -o " +
              ShellQuote(genIso) + " src");
        const std::string xorrisoIso = dir / (std::string("x") + std::to_string(&writerZone - kZones) + ".iso");
        RunOk("cd " + ShellQuote(dir.path()) + " && TZ=" + writerZone + " xorriso -as mkisofs -quiet -o " +
              ShellQuote(xorrisoIso) + " src 2>&1");
        const auto genDates = RootRecordDates(genIso);
        const auto xorrisoDates = RootRecordDates(xorrisoIso);
        for (const char* readerZone : kZones) {
            ScopedTimeZone zone(readerZone);
            for (const auto& [name, moment] : expected) {
                ASSERT_EQ(xorrisoDates.count(name), 1u) << name;
                EXPECT_EQ(IsoRecordDateToUnixTime(xorrisoDates.at(name)), moment)
                    << "xorriso " << writerZone << " read in " << readerZone << ": " << name;
                // genisoimage's own dates after 2038 carry a garbage offset byte.
                if (name == "LATE.") continue;
                ASSERT_EQ(genDates.count(name), 1u) << name;
                EXPECT_EQ(IsoRecordDateToUnixTime(genDates.at(name)), moment)
                    << "genisoimage " << writerZone << " read in " << readerZone << ": " << name;
            }
        }
    }
}

// Our writer gives the same bytes as genisoimage, which stamps local time with
// the offset of the file's own moment (summer dates keep their summer offset).
TEST(Dates, RecordDatesWeWriteMatchGenisoimage) {
    qvtest::TempDir dir;
    MakeStampedFolder(dir, false);
    for (const char* zoneName : kZones) {
        const std::string iso = dir / "g.iso";
        RunOk("cd " + ShellQuote(dir.path()) + " && TZ=" + zoneName + " genisoimage -quiet -o g.iso src");
        const auto dates = RootRecordDates(iso);
        ScopedTimeZone zone(zoneName);
        for (const auto& [name, moment] :
             std::map<std::string, int64_t>{{"F.", kWorkedExample}, {"SUMMER.", kSummer}, {"WINTER.", kWinter}}) {
            RecordDate ours{};
            ASSERT_TRUE(UnixTimeToIsoRecordDate(moment, ours));
            EXPECT_EQ(ours, dates.at(name)) << zoneName << " " << name;
            RecordDate fromFileTime{};
            ASSERT_TRUE(FileTimeToIsoRecordDate(UnixTimeToFileTime(moment), fromFileTime));
            EXPECT_EQ(fromFileTime, ours) << zoneName << " " << name;
        }
    }
}

// Moments genisoimage cannot stamp (after 2038) are checked against date(1).
TEST(Dates, RecordAndVolumeDatesWeWriteMatchDateInEveryZone) {
    for (const char* zoneName : kZones) {
        for (int64_t moment : {kSummer, kWinter, kAfter2038, int64_t{-86400 * 365}}) {
            const DateOfTool tool = LocalDateFromTool(zoneName, moment);
            ScopedTimeZone zone(zoneName);
            RecordDate rec{};
            ASSERT_TRUE(UnixTimeToIsoRecordDate(moment, rec));
            EXPECT_EQ(rec, Record({tool.year - 1900, tool.month, tool.day, tool.hour, tool.minute, tool.second,
                                   tool.offsetMinutes / 15}))
                << zoneName << " " << moment;
            EXPECT_EQ(IsoRecordDateToUnixTime(rec), moment);

            VolumeDate vol{};
            ASSERT_TRUE(UnixTimeToIsoVolumeDate(moment, vol));
            char digits[32];
            std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%02d%02d00", tool.year, tool.month, tool.day,
                          tool.hour, tool.minute, tool.second);
            EXPECT_EQ(vol, Volume(digits, tool.offsetMinutes / 15)) << zoneName << " " << moment;
            EXPECT_EQ(IsoVolumeDateToUnixTime(vol), moment);
        }
    }
}

TEST(Dates, VolumeDatesOfXorrisoImages) {
    qvtest::TempDir dir;
    MakeStampedFolder(dir, false);
    // --modification-date is taken as UTC and written with offset 0.
    RunOk("cd " + ShellQuote(dir.path()) +
          " && xorriso -as mkisofs -quiet --modification-date=2040050607080900 -o v.iso src 2>&1");
    for (const char* zoneName : kZones) {
        ScopedTimeZone zone(zoneName);
        EXPECT_EQ(IsoVolumeDateToUnixTime(VolumeDateAt(dir / "v.iso", 813)), kAfter2038) << zoneName;
        EXPECT_EQ(IsoVolumeDateToUnixTime(VolumeDateAt(dir / "v.iso", 830)), kAfter2038) << zoneName;
    }
}

// xorriso's own -volume_date takes local times of its zone (both seasons and
// one after 2038); the moment each stands for is what date(1) makes of the
// same local time, whatever zone the reader runs in.
TEST(Dates, VolumeDatesSetByXorrisoVolumeDate) {
    qvtest::TempDir dir;
    MakeStampedFolder(dir, false);
    struct Field {
        const char* type;
        uint64_t offsetInPvd;   // ECMA-119 8.4: creation, modification, expiration, effective
        const char* local;      // xorriso's form
        const char* forDate;    // date(1)'s form of the same local time
    };
    const Field fields[] = {
        {"c", 813, "2040.05.06.070809", "2040-05-06 07:08:09"},
        {"m", 830, "2012.07.04.120000", "2012-07-04 12:00:00"},
        {"x", 847, "2012.01.04.120000", "2012-01-04 12:00:00"},
        {"f", 864, "2012.03.15.023000", "2012-03-15 02:30:00"},
    };
    for (const char* writerZone : kZones) {
        std::string command = "cd " + ShellQuote(dir.path()) + " && rm -f v.iso && TZ=" + writerZone +
                              " xorriso -outdev v.iso";
        for (const Field& f : fields) command += std::string(" -volume_date ") + f.type + " " + f.local;
        RunOk(command + " -map src / -commit 2>&1");
        for (const Field& f : fields) {
            const int64_t moment = std::stoll(
                RunOk("TZ=" + std::string(writerZone) + " date -d '" + f.forDate + "' +%s"));
            for (const char* readerZone : kZones) {
                ScopedTimeZone zone(readerZone);
                EXPECT_EQ(IsoVolumeDateToUnixTime(VolumeDateAt(dir / "v.iso", f.offsetInPvd)), moment)
                    << f.type << " written in " << writerZone << ", read in " << readerZone;
            }
        }
    }
}

// genisoimage stamps the volume with the current local time and offset; read
// back it must be now, and our writer must give the same 17 bytes for it.
TEST(Dates, VolumeDateOfGenisoimageIsNowAndRoundTrips) {
    qvtest::TempDir dir;
    MakeStampedFolder(dir, false);
    for (const char* zoneName : kZones) {
        const int64_t before = time(nullptr);
        RunOk("cd " + ShellQuote(dir.path()) + " && TZ=" + zoneName + " genisoimage -quiet -o g.iso src");
        const int64_t after = time(nullptr);
        const VolumeDate created = VolumeDateAt(dir / "g.iso", 813);
        ScopedTimeZone zone(zoneName);
        const int64_t t = IsoVolumeDateToUnixTime(created);
        EXPECT_GE(t, before - 1) << zoneName;
        EXPECT_LE(t, after + 1) << zoneName;
        VolumeDate ours{};
        ASSERT_TRUE(UnixTimeToIsoVolumeDate(t, ours));
        EXPECT_TRUE(std::equal(ours.begin(), ours.begin() + 14, created.begin())) << zoneName;
        EXPECT_EQ(ours[16], created[16]) << zoneName;
    }
}

TEST(Dates, VolumeDatesNotSetOrInvalidReadAsZero) {
    struct Row {
        const char* name;
        VolumeDate date;
        int64_t expected;
    };
    const Row rows[] = {
        {"all zero digits", Volume("0000000000000000", 0), 0},
        {"letter among the first 14", Volume("20120315A0300000", 0), 0},
        {"blank in the seconds", Volume("201203150230 000", 0), 0},
        {"year 0 with a time", Volume("0000031502300000", 0), 0},
        {"month 13", Volume("2012131502300000", 0), 0},
        {"day 0", Volume("2012030002300000", 0), 0},
        {"Apr 31", Volume("2012043102300000", 0), 0},
        {"hour 24", Volume("2012031524300000", 0), 0},
        {"hundredths not looked at", Volume("20120315023000XY", 0), kWorkedExample},
        {"worked example in +8", Volume("2012031510300000", 32), kWorkedExample},
    };
    for (const Row& row : rows) EXPECT_EQ(IsoVolumeDateToUnixTime(row.date), row.expected) << row.name;
    const uint8_t tooShort[16] = {};
    EXPECT_EQ(IsoVolumeDateToUnixTime(tooShort), 0);
    uint8_t out[16];
    EXPECT_FALSE(UnixTimeToIsoVolumeDate(0, out));
    uint8_t outRec[6];
    EXPECT_FALSE(UnixTimeToIsoRecordDate(0, outRec));
}

TEST(Dates, ZonesTheOffsetByteCannotCarryAreWrittenAsUtc) {
    struct Row {
        const char* zone;
        int64_t moment;
    };
    const Row rows[] = {
        {"XYZ-05:20:30", kSummer},                // not a multiple of 15 minutes
        {"Pacific/Kiritimati", kSummer},          // +14:00, beyond +13:00
    };
    for (const Row& row : rows) {
        ScopedTimeZone zone(row.zone);
        RecordDate rec{};
        ASSERT_TRUE(UnixTimeToIsoRecordDate(row.moment, rec));
        EXPECT_EQ(rec, Record({112, 7, 4, 12, 0, 0, 0})) << row.zone;
        EXPECT_EQ(IsoRecordDateToUnixTime(rec), row.moment) << row.zone;
        VolumeDate vol{};
        ASSERT_TRUE(UnixTimeToIsoVolumeDate(row.moment, vol));
        EXPECT_EQ(vol, Volume("2012070412000000", 0)) << row.zone;
    }
    ScopedTimeZone nepal("Asia/Kathmandu");   // +05:45 is carried
    RecordDate rec{};
    ASSERT_TRUE(UnixTimeToIsoRecordDate(kSummer, rec));
    EXPECT_EQ(rec, Record({112, 7, 4, 17, 45, 0, 23}));
}

TEST(Dates, MomentsBeyondTheRecordRangeHoldAtItsLimits) {
    ScopedTimeZone zone("UTC");
    RecordDate rec{};
    ASSERT_TRUE(UnixTimeToIsoRecordDate(int64_t{1} << 40, rec));
    EXPECT_EQ(rec, Record({255, 12, 31, 23, 59, 59, 0}));
    ASSERT_TRUE(UnixTimeToIsoRecordDate(-int64_t{3000000000}, rec));  // 1874
    EXPECT_EQ(rec, Record({0, 1, 1, 0, 0, 0, 0}));
    VolumeDate vol{};
    ASSERT_TRUE(UnixTimeToIsoVolumeDate(int64_t{1} << 40, vol));
    EXPECT_EQ(vol, Volume("9999123123595900", 0));
    // The extremes of 64-bit seconds, in a zone with an offset, hold at the limits too.
    ScopedTimeZone shanghai("Asia/Shanghai");
    ASSERT_TRUE(UnixTimeToIsoRecordDate(INT64_MAX, rec));
    EXPECT_EQ(rec, Record({255, 12, 31, 23, 59, 59, 0}));
    ASSERT_TRUE(UnixTimeToIsoRecordDate(INT64_MIN, rec));
    EXPECT_EQ(rec, Record({0, 1, 1, 0, 0, 0, 0}));
    ASSERT_TRUE(UnixTimeToIsoVolumeDate(INT64_MIN, vol));
    EXPECT_EQ(vol, Volume("0001010100000000", 0));
    EXPECT_EQ(FileTimeTicks(UnixTimeToFileTime(INT64_MIN)), 0u);
    // A FILETIME the system cannot convert stands for now.
    const int64_t before = time(nullptr);
    ASSERT_TRUE(FileTimeToIsoRecordDate(FileTimeFromTicks(0x8000000000000000ull), rec));
    const int64_t t = IsoRecordDateToUnixTime(rec);
    EXPECT_GE(t, before - 1);
    EXPECT_LE(t, time(nullptr) + 1);
}

TEST(Dates, FormatRecordDateTextInLocalTime) {
    const RecordDate example = Record({112, 3, 15, 10, 30, 0, 32});
    struct Row {
        const char* zone;
        const char16_t* text;
    };
    const Row rows[] = {
        {"UTC", u"2012-03-15 02:30"},
        {"Asia/Shanghai", u"2012-03-15 10:30"},
        {"America/New_York", u"2012-03-14 22:30"},
    };
    for (const Row& row : rows) {
        ScopedTimeZone zone(row.zone);
        EXPECT_EQ(FormatRecordDateText(example), row.text) << row.zone;
    }
    EXPECT_EQ(FormatRecordDateText(Record({0, 0, 0, 0, 0, 0, 0})), u"1900-00-00 00:00");
}

TEST(Dates, SystemTimeConversions) {
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(UnixTimeToFileTime(kWorkedExample), st));
    EXPECT_EQ(st.wYear, 2012);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 15);
    EXPECT_EQ(st.wDayOfWeek, 4);  // Thursday
    EXPECT_EQ(st.wHour, 2);
    EXPECT_EQ(st.wMinute, 30);
    FILETIME ft;
    st.wMilliseconds = 250;
    ASSERT_TRUE(SystemTimeToFileTime(st, ft));
    EXPECT_EQ(FileTimeTicks(ft), FileTimeTicks(UnixTimeToFileTime(kWorkedExample)) + 2500000);
    st.wMonth = 13;
    EXPECT_FALSE(SystemTimeToFileTime(st, ft));
    EXPECT_FALSE(FileTimeToSystemTime(FileTimeFromTicks(0x8000000000000000ull), st));
}

TEST(Dates, LocalToUtcUsesTheRulesOfThatDate) {
    ScopedTimeZone zone("America/New_York");
    struct Row {
        const char* name;
        SYSTEMTIME local;
        int64_t expected;
    };
    const Row rows[] = {
        {"summer", {2012, 7, 0, 4, 8, 0, 0, 0}, kSummer},
        {"winter", {2012, 1, 0, 4, 7, 0, 0, 0}, kWinter},
        {"after 2038", {2040, 5, 0, 6, 3, 8, 9, 0}, kAfter2038},
        // 02:30 on 2012-03-11 does not exist; read with the old offset (EST).
        {"skipped hour", {2012, 3, 0, 11, 2, 30, 0, 0}, 1331451000},
        // 01:30 on 2012-11-04 happens twice; the first (EDT) is taken.
        {"repeated hour", {2012, 11, 0, 4, 1, 30, 0, 0}, 1352007000},
    };
    for (const Row& row : rows) {
        SYSTEMTIME utc;
        ASSERT_TRUE(LocalToUtcSystemTime(row.local, utc)) << row.name;
        FILETIME ft;
        ASSERT_TRUE(SystemTimeToFileTime(utc, ft));
        EXPECT_EQ(FileTimeToUnixTime(ft), row.expected) << row.name;
    }
    SYSTEMTIME bad{2012, 2, 0, 30, 0, 0, 0, 0}, utc;
    EXPECT_FALSE(LocalToUtcSystemTime(bad, utc));
}

TEST(Dates, StatFileReadsSizeTimesAndReadOnly) {
    qvtest::TempDir dir;
    const std::string path = dir / "é file";
    qvtest::WriteFileText(path, "12345");
    RunOk("touch -d '2040-05-06 07:08:09 UTC' " + ShellQuote(path));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const std::u16string wide = u"" + std::u16string(dir.path().begin(), dir.path().end()) + u"/\u00e9 file";
    FileStatus status;
    ASSERT_EQ(StatFileW(wide, status), 0);
    EXPECT_EQ(status.sizeBytes, 5u);
    EXPECT_EQ(status.modifiedTime, kAfter2038);
    EXPECT_TRUE(status.isReadOnly);
    EXPECT_FALSE(status.isDirectory);
    const std::u16string folder(dir.path().begin(), dir.path().end());
    ASSERT_EQ(StatFileW(folder, status), 0);
    EXPECT_TRUE(status.isDirectory);
    EXPECT_FALSE(status.isReadOnly);
    EXPECT_EQ(StatFileW(folder + u"/missing", status), -1);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
}

TEST(Dates, NewItemTimePrefersTheDocumentsFixedTime) {
    EXPECT_EQ(GetNewItemTime(1000000000), 1000000000);
    const int64_t before = time(nullptr);
    const int64_t t = GetNewItemTime(0);
    EXPECT_GE(t, before);
    EXPECT_LE(t, time(nullptr));
}

}  // namespace

namespace {

TEST(Dates, TimeFixedSettingStampsNewItems) {
    qvtest::TempDir config;
    setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
    ASSERT_TRUE(foundation::WriteSettingDword(u"TimeFixed", 1000000000));
    EXPECT_EQ(foundation::GetFixedTime(), 1000000000);
    EXPECT_EQ(foundation::GetNewItemTime(0), 1000000000);
    EXPECT_EQ(foundation::GetNewItemTime(1234), 1234);
    // date -u -d @1000000000 says 2001-09-09 01:46:40.
    EXPECT_EQ(qvtest::RunOk("date -u -d @1000000000 '+%Y-%m-%d %H:%M:%S'"), "2001-09-09 01:46:40\n");
    ScopedTimeZone zone("UTC");
    std::array<uint8_t, 7> rec{};
    ASSERT_TRUE(foundation::UnixTimeToIsoRecordDate(foundation::GetNewItemTime(0), rec));
    EXPECT_EQ(rec, (std::array<uint8_t, 7>{101, 9, 9, 1, 46, 40, 0}));
    unsetenv("QV_CONFIG_DIR");
}

}  // namespace

namespace {

// Arbitrary bytes and arbitrary 64-bit moments: every conversion returns
// cleanly (the sanitizers watch the arithmetic), and whatever a valid record
// date decodes to encodes back to the same moment in UTC.
TEST(Dates, ArbitraryInputConvertsCleanly) {
    ScopedTimeZone zone("America/New_York");
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int i = 0; i < 20000; ++i) {
        std::array<uint8_t, 17> bytes{};
        for (auto& b : bytes) b = static_cast<uint8_t>(next());
        if (i % 2 == 0) {
            for (size_t k = 0; k < 16; ++k) bytes[k] = static_cast<uint8_t>('0' + next() % 10);
        }
        (void)foundation::IsoVolumeDateToUnixTime(bytes);
        (void)foundation::FormatRecordDateText(std::span<const uint8_t>(bytes).first(7));
        const int64_t t = foundation::IsoRecordDateToUnixTime(std::span<const uint8_t>(bytes).first(7));
        if (t != 0) {
            std::array<uint8_t, 7> back{};
            ScopedTimeZone utc("UTC");
            ASSERT_TRUE(foundation::UnixTimeToIsoRecordDate(t, back));
            EXPECT_EQ(foundation::IsoRecordDateToUnixTime(back), t);
        }
        const int64_t moment = static_cast<int64_t>(next() >> (next() % 64));
        for (int64_t m : {moment, -moment}) {
            std::array<uint8_t, 7> rec{};
            std::array<uint8_t, 17> vol{};
            ASSERT_TRUE(foundation::UnixTimeToIsoRecordDate(m, rec));
            ASSERT_TRUE(foundation::UnixTimeToIsoVolumeDate(m, vol));
            foundation::SYSTEMTIME st;
            (void)foundation::FileTimeToSystemTime(foundation::UnixTimeToFileTime(m), st);
            (void)foundation::GetUtcOffsetSecondsAt(m);
        }
    }
}

}  // namespace
