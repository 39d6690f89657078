#pragma once
// A writable software drive for the burn engine's tests: the drive letter E
// names a scratch file, the drive services lock it, every command goes to the
// software drive, and boxes are answered from a queue.

#include <string>

#include "burn_test_support.h"
#include "foundation/drive_device_services.h"
#include "foundation/drive_handles.h"
#include "foundation/messages_scripted.h"
#include "optical/drive/drive_services.h"
#include "optical/drive/sector_read_state.h"
#include "soft_drive/soft_drive_fixture.h"

namespace burntest {

class LetterToFile final : public foundation::IDriveDeviceServices {
public:
    explicit LetterToFile(std::string path) : path_(platform::Utf8ToUtf16(path)) {}
    std::u16string DevicePath(char16_t letter) override { return letter == u'E' ? path_ : std::u16string(); }

private:
    std::u16string path_;
};

struct BurnDrive {
    qvtest::TempDir dir;
    softdrive::ScopedSoftDrive soft;
    LetterToFile letters{dir / "device"};
    foundation::ScopedServices<foundation::SetDriveDeviceServices> scopedLetters{&letters};
    optical::DriveServices services;
    foundation::ScopedServices<foundation::SetOpticalServices> scopedServices{&services};
    foundation::ScriptedUiServices ui;
    foundation::UiServices* previousUi = foundation::SetUiServices(&ui);
    ScopedFace log;

    BurnDrive() {
        qvtest::WriteFileText(dir / "device", "");
        foundation::ResetDriveTable();
        optical::ResetSectorReadState();
    }
    ~BurnDrive() {
        foundation::SetUiServices(previousUi);
        foundation::ResetDriveTable();
    }
    bool Load(const std::string& manifest) { return soft.Load(manifest); }
    size_t Count(uint8_t opcode) const { return soft.drive.Count(opcode); }
};

}  // namespace burntest
