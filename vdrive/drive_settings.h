#pragma once
// The virtual-drive settings as the configuration pages edit them, read and
// applied by one routine for every face that shows them (the option sheet's
// Virtual Drive page and the file manager's configuration dialog), and the
// rules of the per-drive letter wishes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vdrive {

inline constexpr uint32_t kMaxDriveSetting = 23;   // drives 0..22; 0 drives is "<Disabled>"

struct DriveSettings {
    bool autostart = false;
    bool automount = false;
    uint32_t driveCount = 0;       // 0..23
    std::u16string letters;        // 23 wishes, 'A' automatic, else 'D'..'Z'
    std::u16string tempFolder;
};

// What the routine works on: the real drives and store, or a test's fake.
class IDriveSettingsTarget {
public:
    virtual ~IDriveSettingsTarget() = default;
    struct Drive {
        uint32_t number = 0;
        char16_t letter = 0;
    };
    virtual std::vector<Drive> Drives() = 0;
    virtual uint32_t Options() = 0;
    virtual void StoreOptions(uint32_t flags) = 0;
    virtual void StoreLetters(std::u16string_view letters) = 0;
    virtual void StoreTempFolder(std::u16string_view folder) = 0;
    virtual bool SetLetter(uint32_t number, char16_t letter) = 0;
    virtual bool SetCount(uint32_t count) = 0;
    // Yes/No/Cancel with the question icon; the message-box result.
    virtual int Ask(std::u16string_view question) = 0;
    virtual bool StartHelper(const std::vector<std::u16string>& arguments) = 0;
};
// The drives of the channel and the settings store.
IDriveSettingsTarget& SystemDriveSettingsTarget();

// The values a page opens with: option bits, the number of drives listed
// (at most 23), the stored letters and temporary folder.
DriveSettings ReadDriveSettings(IDriveSettingsTarget& target);
// OK of a configuration page: the option bits, the letter wishes (each drive
// whose wish differs from its letter is asked about: Yes changes it, No skips
// it, Cancel asks no more), the number of drives, a changed temporary folder,
// then the running helper is told to take the stored settings.
void ApplyDriveSettings(const DriveSettings& wanted, std::u16string_view initialTempFolder,
                        IDriveSettingsTarget& target);

// "<Auto>" for 'A', else the letter and ':'.
std::u16string DriveLetterText(char16_t letter);
// The letter combo's item of a wish: 0 "<Auto>", 1..23 "D:".."Z:"; a letter
// outside D..Z is item 0.
int DriveLetterItem(char16_t letter);
char16_t DriveLetterOfItem(int item);
// The drive index other than driveIndex that already wishes for the item's
// letter, or -1 ("<Auto>" never conflicts).
int ConflictingDrive(std::u16string_view letters, uint32_t driveIndex, int item);
// "%C:\r\n\r\nThe drive letter has already been assigned to drive %d."
std::u16string DriveLetterConflictText(char16_t letter, int otherDrive);

}  // namespace vdrive

namespace vdrive {
// The helper can be used from here: the store names its folder, or
// "qvhelper" lies in the virtual-drive install folder (beside the program).
bool IsDriveHelperInstalled();
}  // namespace vdrive
