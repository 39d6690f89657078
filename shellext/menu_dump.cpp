#include "shellext/menu_dump.h"

#include "platform/text.h"
#include "shellext/verbs.h"

namespace shellext {
namespace {

void DumpLevel(const Menu& menu, int depth, std::string& out) {
    for (const MenuItem& item : menu.items) {
        out.append(size_t(depth) * 2, ' ');
        if (item.separator) {
            out += "----\n";
            continue;
        }
        // A name that is no valid text shows as such; it never breaks a line.
        std::string text = platform::Utf16ToUtf8(item.text);
        for (char& c : text)
            if (c == '\n' || c == '\r') c = ' ';
        out += text;
        if (item.submenu) out += " >";
        const std::string verb = VerbOfKind(item.data);
        if (!verb.empty()) out += "  [" + verb + "]";
        if (item.checked) out += " checked";
        if (item.grayed) out += " grayed";
        out += "\n";
        if (item.submenu) DumpLevel(*item.submenu, depth + 1, out);
    }
}

}  // namespace

std::string DumpMenu(const Menu& menu) {
    std::string out;
    DumpLevel(menu, 0, out);
    return out;
}

}  // namespace shellext
