#include "foundation/strings.h"

#include "foundation/language.h"

#include <algorithm>
#include <iterator>

namespace foundation {

namespace {

struct BuiltinEntry {
    uint32_t id;
    std::u16string_view text;
};

// Sorted by id.
constexpr BuiltinEntry kBuiltinStrings[] = {
    {10, u"New"},
    {180, u"Lar&ge Icon"},
    {190, u"S&mall Icon"},
    {200, u"&List"},
    {210, u"&Detail"},
    {220, u"By &Name"},
    {230, u"By &Type"},
    {240, u"By &Size"},
    {250, u"By &Date"},
    {260, u"&Copy to Clipboard\tCtrl+C"},
    {270, u"&Paste from Clipboard\tCtrl+V"},
    {280, u"Cu&t to Clipboard"},
    {290, u"Select A&ll\tCtrl+A"},
    {300, u"&Invert Selection"},
    {310, u"&Add Files and Folders..."},
    {320, u"&New Folder"},
    {330, u"&Delete..."},
    {340, u"&Rename"},
    {350, u"&View"},
    {360, u"View wit&h..."},
    {370, u"View with Default &Viewer"},
    {380, u"E&xtract..."},
    {390, u"I&nformation..."},
    {430, u"<Different Types>"},
    {440, u"<Different Date>"},
    {450, u"<Different Names>"},
    {680, u"The file already exists with read-only attribute. Do you want to overwrite it?"},
    {690, u"The file already exists. Do you want to overwrite it?"},
    {700, u"The file or folder name already exists. Do you want to overwrite it?"},
    {710, u"The current file has been changed. You need save it first."},
    {730, u"Failed writing archive."},
    {810, u"The volume number exceeds limitation. Please increase the volume size."},
    {860, u"Autodetect"},
    {950, u"Do you want to remove the password?"},
    {980, u"The file size is too big(> 4G Bytes), and can not be added into the archive."},
    {1110, u"Normal"},
    {1140, u"General"},
    {1150, u"Information"},
    {1160, u"ISO File System"},
    {1170, u"Advanced"},
    {1180, u"Comment"},
    {1190, u"ISO Date/Time"},
    {1200, u"General"},
    {1210, u"Miscellaneous"},
    {1230, u"Configuration"},
    {1360, u"New Archive"},
    {1420, u"Error writing archive '%s'."},
    {1450, u"There is no enough space to hold the file."},
    {1470, u"bytes"},
    {1480, u"%d Files, %d Folders"},
    {1580, u"Archive"},
    {1630, u"Partition"},
    {1640, u"Import Image"},
    {1650, u"Import Partition"},
    {1660, u"Quendravine can't open the following partition: "},
    {1720, u"Session"},
    {1730, u"Size"},
    {1770, u"Folder"},
    {1780, u"<No Label>"},
    {1800, u"Language"},
    {1830, u"Executable Files(*.exe)|*.exe|All Files (*.*)|*.*||"},
    {30010, u"Type"},
    {30020, u"Size"},
    {30250, u"%d Drives"},
    {30370, u"The file size is too large."},
    {30380, u"The archive is invalid or unsupported."},
    {30381, u"The password is wrong or the archive is invalid."},
    {30400, u"Edit the drive letter assignment for drive %d:"},
    {30420, u"Drive %d\r\n\r\nThe drive letter is [%C:] , do you want to change it to [%C:] now?"},
    {30430, u"%C:\r\n\r\nThe drive letter has already been assigned to drive %d."},
    {30440, u"Quendravine Virtual Drive"},
    {30470, u"Virtual Drive"},
    {30480, u"<Auto>"},
    {30490, u"Drive"},
    {30500, u"Letter"},
    {30510, u"<Disabled>"},
    {30550, u"You must input password to open this file."},
    {30580, u"Can not read directory structure."},
    {30590, u"Unexpected end of file found."},
    {30600, u"Error found while reading the directory structure."},
    {30610, u"File version mismatch. To open this file, please visit our website to get the latest version."},
    {30620, u"The password is wrong. "},
    {30630, u"Please input the password:"},
    {30640, u"Please input the password."},
    {30650, u"The password is too long. The maximum length is %d characters."},
    {30660, u"Data error or wrong password!"},
    {30670, u"You are ready to open a multi-volume archive. Quendravine needs this volume to continue."},
    {30810, u"Out of memory. Program abort."},
    {30820, u"Can not create directory or file. The disk maybe full or read-only."},
    {30830, u"Error reading archive. "},
    {30840, u"Error reading archive '%s'."},
    {30850, u"Error extractting archive '%s'."},
    {30860, u"File"},
    {30870, u"OK"},
    {30880, u"Cancel"},
    {30890, u"Comment:"},
    {30900, u"Copy to Clipboard"},
    {30910, u"Edit Drive Letter"},
    {30920, u"New drive letter assignment:"},
    {32102, u"Please select a valid disc image file."},
    {32120, u"Can't lock the drive for exclusive access."},
};

constexpr bool SortedById() {
    for (size_t i = 1; i < std::size(kBuiltinStrings); ++i)
        if (kBuiltinStrings[i - 1].id >= kBuiltinStrings[i].id) return false;
    return true;
}
static_assert(SortedById(), "the built-in strings are looked up by binary search");

}  // namespace

std::u16string_view BuiltinString(uint32_t stringId) {
    auto it = std::lower_bound(std::begin(kBuiltinStrings), std::end(kBuiltinStrings), stringId,
                               [](const BuiltinEntry& e, uint32_t id) { return e.id < id; });
    if (it == std::end(kBuiltinStrings) || it->id != stringId) return {};
    return it->text;
}

std::u16string LangString(uint32_t stringId) {
    return GetLangString(stringId, BuiltinString(stringId));
}

}  // namespace foundation
