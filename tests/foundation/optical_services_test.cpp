#include "foundation/optical_services.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_services.h"

namespace {

using namespace foundation;

TEST(OpticalServices, StandInIsNotAvailable) {
    platform::SetLastError(0);
    uint32_t transferred = 99;
    int hadError = 7;
    char buffer[2048];
    EXPECT_EQ(LockAndDismountVolume(nullptr, 0), 0);
    EXPECT_EQ(UnlockVolume(nullptr), 0);
    EXPECT_EQ(ScsiRead10(nullptr, 0, 1, buffer, sizeof(buffer), &transferred), 0);
    EXPECT_EQ(transferred, 0u);
    EXPECT_EQ(ScsiWrite10(nullptr, 0, buffer, sizeof(buffer), 2048), 0);
    SectorReadRequest request;
    request.buffer = buffer;
    request.count = 1;
    EXPECT_EQ(ReadSectorsWithRetry(request, &hadError), 0);
    EXPECT_EQ(hadError, 0);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotSupported);
    BurnLog(true, u"%s %d", u"nothing", 1);   // goes nowhere, and does not fail
}

class RecordingLog final : public qvtest::NullOpticalServices {
public:
    std::vector<std::pair<bool, std::u16string>> lines;
    int LockAndDismountVolume(platform::FileHandle, int) override { return 1; }
    void BurnLogString(bool warning, std::u16string_view text) override { lines.emplace_back(warning, text); }
};

TEST(OpticalServices, InstalledServiceGetsTheCalls) {
    RecordingLog log;
    {
        ScopedServices<SetOpticalServices> installed(&log);
        BurnLog(true, u"%s: %d", u"track", 3);
        BurnLogString(false, u"plain");
        EXPECT_EQ(LockAndDismountVolume(nullptr, 0), 1);
    }
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0], std::make_pair(true, std::u16string(u"track: 3")));
    EXPECT_EQ(log.lines[1].second, u"plain");
    EXPECT_EQ(LockAndDismountVolume(nullptr, 0), 0);
}

}  // namespace
