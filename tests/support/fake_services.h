#pragma once
// One null fake of each service a lower layer declares (foundation/services.h):
// every call answers "nothing, no, failed" and records nothing. A test derives
// from the fake of the seam it needs, overrides only the calls it watches or
// answers, and installs it for its scope:
//   class CountReports : public qvtest::NullVolumeSetServices { ... ReportTooManyVolumes ... };
//   foundation::ScopedServices<foundation::SetVolumeSetServices> volumes{&reports};
// A seam of one call needs no null fake: the test implements its interface.
// Seams whose stand-in is the image core's own (the open's readers, the disk
// add's entry status) are faked by deriving from that stand-in instead.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/optical_services.h"
#include "foundation/prompt_services.h"
#include "foundation/services.h"
#include "foundation/volume_set_services.h"
#include "image/document/fat_volume_services.h"
#include "image/document/main_window_services.h"
#include "image/sectors/audio_services.h"

namespace qvtest {

class NullVolumeSetServices : public foundation::IVolumeSetServices {
public:
    void RedirectToFirstVolume(std::u16string&) override {}
    void ReportTooManyVolumes() override {}
};

class NullOpticalServices : public foundation::IOpticalServices {
public:
    int LockAndDismountVolume(platform::FileHandle, int) override { return 0; }
    int UnlockVolume(platform::FileHandle) override { return 0; }
    void BurnLogString(bool, std::u16string_view) override {}
    int ReadSectorsWithRetry(const foundation::SectorReadRequest&, int*) override { return 0; }
    int ScsiRead10(platform::FileHandle, uint32_t, uint16_t, void*, uint32_t, uint32_t*) override { return 0; }
    int ScsiWrite10(platform::FileHandle, uint32_t, const void*, uint32_t, uint32_t) override { return 0; }
};

// Answers every prompt with its cancel value.
class NullPromptServices : public foundation::IPromptServices {
public:
    void Show(foundation::UserPromptRequest& request) override { foundation::AnswerCancel(request); }
};

// No window: the image core's own stand-in does nothing already.
class NullMainWindowServices : public image::detail::MainWindowStandIn {};

class NullAudioServices : public image::IAudioServices {
public:
    int OpenMusicDecoder(std::u16string_view, int32_t, int64_t) override { return 0; }
    void CloseMusicDecoder() override {}
    int64_t GetTrackSourceStart(const image::TrackList*, int32_t) override { return 0; }
    int ReadTrackData(image::TrackList*, int32_t, void*, uint32_t) override { return 0; }
    int64_t ProbeAudioFile(platform::FileHandle, std::u16string_view, int32_t*, int64_t*, int64_t*) override {
        return 0;
    }
};

// A FAT volume whose every write fails (1 is success).
class NullFatVolumeServices : public image::IFatVolumeServices {
public:
    int WriteFile(image::ImageContext*, image::ImageItem*) override { return 0; }
    int CopyFile(image::ImageContext*, image::ImageItem*, image::ImageItem*) override { return 0; }
    int CreateFolder(image::ImageContext*, image::ImageFolder*) override { return 0; }
    void DeleteFile(image::ImageContext*, image::ImageItem*) override {}
    void DeleteFolder(image::ImageContext*, image::ImageItem*) override {}
    int MoveEntry(image::ImageContext*, image::ImageItem*) override { return 0; }
};

}  // namespace qvtest
