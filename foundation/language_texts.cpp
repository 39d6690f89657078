#include "foundation/language_texts.h"

#include "foundation/language.h"
#include "platform/format.h"

namespace foundation {

namespace {

struct PageTitle {
    uint32_t templateId;
    uint32_t stringId;
    std::u16string_view text;
};

constexpr PageTitle kPageTitles[] = {
    {230, 1200, u"General"},       {231, 1160, u"ISO File System"}, {248, 1170, u"Advanced"},
    {255, 1140, u"General"},       {321, 1150, u"Information"},     {322, 1180, u"Comment"},
    {323, 1190, u"ISO Date/Time"}, {324, 30470, u"Virtual Drive"},  {325, 1210, u"Miscellaneous"},
};

struct SharedCommand {
    uint32_t commandIds[3];   // 0 ends the list
    uint32_t stringId;        // 0: not translated
    std::u16string_view text;
};

// The same command stands in the main menu and in context menus under several
// ids; these take their text from the numbered strings.
constexpr SharedCommand kSharedCommands[] = {
    {{32776, 33214, 0}, 180, u"Lar&ge Icon"},
    {{32777, 33215, 0}, 190, u"S&mall Icon"},
    {{32778, 33216, 0}, 200, u"&List"},
    {{32779, 33217, 0}, 210, u"&Detail"},
    {{32780, 0, 0}, 220, u"By &Name"},
    {{32782, 0, 0}, 230, u"By &Type"},
    {{32781, 0, 0}, 240, u"By &Size"},
    {{32783, 0, 0}, 250, u"By &Date"},
    {{32956, 33219, 0}, 260, u"&Copy to Clipboard\tCtrl+C"},
    {{32957, 33220, 33225}, 270, u"&Paste from Clipboard\tCtrl+V"},
    {{33212, 0, 0}, 280, u"Cu&t to Clipboard"},
    {{32853, 33221, 0}, 290, u"Select A&ll\tCtrl+A"},
    {{32854, 33222, 0}, 300, u"&Invert Selection"},
    {{32860, 33211, 0}, 310, u"&Add Files and Folders..."},
    {{32915, 0, 0}, 320, u"&New Folder"},
    {{32862, 33224, 33259}, 330, u"&Delete..."},
    {{32868, 0, 0}, 340, u"&Rename"},
    {{32909, 33223, 0}, 350, u"&View"},
    {{32910, 0, 0}, 360, u"View wit&h..."},
    {{32790, 0, 0}, 370, u"View with Default &Viewer"},
    {{32861, 33218, 33258}, 380, u"E&xtract..."},
    {{32917, 0, 0}, 390, u"I&nformation..."},
    {{33210, 0, 0}, 0, u"Add &Music File(s)..."},
    {{33213, 0, 0}, 0, u"Add &Video File(s)..."},
    {{33240, 0, 0}, 0, u"Audio Properties"},
};

}  // namespace

std::optional<std::u16string> GetPropertyPageTitle(uint32_t templateId) {
    for (const PageTitle& p : kPageTitles)
        if (p.templateId == templateId) return GetLangString(p.stringId, p.text);
    return std::nullopt;
}

std::optional<std::u16string> GetSharedCommandText(uint32_t commandId) {
    for (const SharedCommand& c : kSharedCommands) {
        for (uint32_t id : c.commandIds) {
            if (id == 0) break;
            if (id != commandId) continue;
            if (c.stringId == 0) return std::u16string(c.text);
            return GetLangString(c.stringId, c.text);
        }
    }
    return std::nullopt;
}

bool IsGeneratedMenuCommand(uint32_t id) {
    return (id >= 32841 && id <= 32844) || (id >= 32967 && id <= 32973) ||
           (id >= 33034 && id <= 33130) || (id >= 33153 && id <= 33203);
}

std::u16string PopupKey(std::u16string_view parentKey, uint32_t position) {
    return platform::Format(u"%s|%u", parentKey, position);
}

}  // namespace foundation
