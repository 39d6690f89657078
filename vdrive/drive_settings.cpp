#include "vdrive/drive_settings.h"

#include <unistd.h>

#include <algorithm>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/programs.h"
#include "foundation/settings.h"
#include "foundation/system_facts.h"
#include "platform/format.h"
#include "platform/text.h"
#include "vdrive/drive_options.h"
#include "vdrive/virtual_drives.h"

namespace vdrive {
namespace {

constexpr char16_t kAutoLetter = u'A';

bool IsDriveLetter(char16_t c) { return c >= u'D' && c <= u'Z'; }

class SystemTarget final : public IDriveSettingsTarget {
public:
    std::vector<Drive> Drives() override {
        std::vector<Drive> drives;
        for (const VirtualDriveEntry& entry : GetVirtualDriveList()) drives.push_back({entry.number, entry.letter});
        return drives;
    }
    uint32_t Options() override { return GetVirtualDriveOptions(); }
    void StoreOptions(uint32_t flags) override { SetVirtualDriveOptions(flags); }
    void StoreLetters(std::u16string_view letters) override { foundation::SetDriveLetters(letters); }
    void StoreTempFolder(std::u16string_view folder) override {
        foundation::SetVirtualDriveCString(u"TempFolder", folder);
    }
    bool SetLetter(uint32_t number, char16_t letter) override { return SetVirtualDriveLetter(number, letter); }
    bool SetCount(uint32_t count) override { return SetVirtualDriveCount(count); }
    int Ask(std::u16string_view question) override {
        return foundation::AppMessageBox(question, foundation::kMbYesNoCancel | foundation::kMbIconQuestion);
    }
    bool StartHelper(const std::vector<std::u16string>& arguments) override {
        return foundation::StartHelperElevated(arguments);
    }
};

}  // namespace

IDriveSettingsTarget& SystemDriveSettingsTarget() {
    static SystemTarget target;
    return target;
}

DriveSettings ReadDriveSettings(IDriveSettingsTarget& target) {
    DriveSettings settings;
    const uint32_t options = target.Options();
    settings.autostart = (options & kOptionAutostart) != 0;
    settings.automount = (options & kOptionAutomount) != 0;
    settings.driveCount = std::min<uint32_t>(static_cast<uint32_t>(target.Drives().size()), kMaxDriveSetting);
    settings.letters = foundation::GetDriveLetters();
    settings.tempFolder = foundation::GetVirtualDriveString(u"TempFolder").value_or(u"");
    return settings;
}

void ApplyDriveSettings(const DriveSettings& wanted, std::u16string_view initialTempFolder,
                        IDriveSettingsTarget& target) {
    uint32_t options = target.Options() & ~uint32_t(kOptionAutostart | kOptionAutomount);
    if (wanted.autostart) options |= kOptionAutostart;
    if (wanted.automount) options |= kOptionAutomount;
    target.StoreOptions(options);

    // The stored wishes are always 23 letters, whatever the page held.
    std::u16string letters(foundation::kDriveLetterCount, kAutoLetter);
    for (size_t i = 0; i < letters.size() && i < wanted.letters.size(); ++i) {
        const char16_t c = platform::ToUpperChar(wanted.letters[i]);
        if (IsDriveLetter(c)) letters[i] = c;
    }
    target.StoreLetters(letters);
    const std::u16string question =
        foundation::GetLangString(30420, u"Drive %d\r\n\r\nThe drive letter is [%C:] , do you want to change it to [%C:] now?");
    for (const IDriveSettingsTarget::Drive& drive : target.Drives()) {
        // The helper numbers its drives; only 0..22 have a wish.
        if (drive.number >= letters.size()) continue;
        const char16_t wish = letters[drive.number];
        if (!IsDriveLetter(wish) || wish == platform::ToUpperChar(drive.letter)) continue;
        const int answer = target.Ask(platform::Format(question, int(drive.number), static_cast<char>(drive.letter),
                                                       static_cast<char>(wish)));
        if (answer == foundation::kIdCancel) break;
        if (answer == foundation::kIdYes) target.SetLetter(drive.number, wish);
    }

    target.SetCount(std::min(wanted.driveCount, kMaxDriveSetting));
    if (wanted.tempFolder != initialTempFolder) target.StoreTempFolder(wanted.tempFolder);
    if (foundation::IsVistaOrLater()) target.StartHelper({u"-vset_virtual_drive_parameters"});
}

std::u16string DriveLetterText(char16_t letter) {
    if (letter == kAutoLetter) return foundation::GetLangString(30480, u"<Auto>");
    return std::u16string{letter, u':'};
}

int DriveLetterItem(char16_t letter) {
    const char16_t c = platform::ToUpperChar(letter);
    return IsDriveLetter(c) ? int(c - u'D') + 1 : 0;
}

char16_t DriveLetterOfItem(int item) {
    return item >= 1 && item <= 23 ? static_cast<char16_t>(u'C' + item) : kAutoLetter;
}

int ConflictingDrive(std::u16string_view letters, uint32_t driveIndex, int item) {
    const char16_t letter = DriveLetterOfItem(item);
    if (letter == kAutoLetter) return -1;
    for (size_t i = 0; i < letters.size(); ++i)
        if (i != driveIndex && platform::ToUpperChar(letters[i]) == letter) return int(i);
    return -1;
}

std::u16string DriveLetterConflictText(char16_t letter, int otherDrive) {
    return platform::Format(
        foundation::GetLangString(30430, u"%C:\r\n\r\nThe drive letter has already been assigned to drive %d."),
        static_cast<char>(letter), otherDrive);
}

}  // namespace vdrive

namespace vdrive {

bool IsDriveHelperInstalled() {
    if (foundation::IsVirtualDriveInstalled()) return true;
    const std::u16string dir = foundation::GetVirtualDriveInstallDir();
    if (dir.empty()) return false;
    return ::access((platform::Utf16ToUtf8(dir) + "/qvhelper").c_str(), X_OK) == 0;
}

}  // namespace vdrive
