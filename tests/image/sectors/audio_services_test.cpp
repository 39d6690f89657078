#include "image/sectors/audio_services.h"

#include <gtest/gtest.h>

namespace {

class FixedProbe final : public image::IAudioServices {
public:
    int OpenMusicDecoder(std::u16string_view, int32_t, int64_t) override { return 0; }
    void CloseMusicDecoder() override {}
    int64_t GetTrackSourceStart(const image::TrackList*, int32_t) override { return 0; }
    int ReadTrackData(image::TrackList*, int32_t, void*, uint32_t) override { return 1; }
    int64_t ProbeAudioFile(platform::FileHandle, std::u16string_view, int32_t* kind, int64_t* offset,
                           int64_t* size) override {
        *kind = image::kAudioSourceFile;
        *offset = 44;
        *size = 2352 * 3 + 1;
        return 4;
    }
};

TEST(AudioServices, StandInIsNotAvailableAndInstalledServiceAnswers) {
    platform::SetLastError(0);
    char frame[2352];
    int32_t kind = -1;
    int64_t offset = -1, size = -1;
    EXPECT_EQ(image::ReadTrackData(nullptr, 0, frame, 1), 0);
    EXPECT_EQ(image::ProbeAudioFile(nullptr, u"x.wav", &kind, &offset, &size), 0);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotSupported);

    {
        FixedProbe probe;
        foundation::ScopedServices<image::SetAudioServices> audio(&probe);
        EXPECT_EQ(image::ProbeAudioFile(nullptr, u"x.wav", &kind, &offset, &size), 4);
        EXPECT_EQ(offset, 44);
        EXPECT_EQ(image::ReadTrackData(nullptr, 0, frame, 1), 1);
    }
    EXPECT_EQ(image::ReadTrackData(nullptr, 0, frame, 1), 0);
}

}  // namespace
