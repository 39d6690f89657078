#include "vdrive/autostart_entry.h"

namespace vdrive {
namespace {

std::optional<std::string> QuotedExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (char ch : argument) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return std::nullopt;
        switch (ch) {
        // Escaped for the quoting rule ("\" before each), and that backslash
        // escaped again for the string-value rule, which is applied first.
        case '"':
        case '`':
        case '$':
            quoted += "\\\\";
            quoted += ch;
            break;
        case '\\':
            quoted += "\\\\\\\\";
            break;
        case '%':
            quoted += "%%";
            break;
        default:
            quoted += ch;
        }
    }
    return quoted + "\"";
}

}  // namespace

std::optional<std::string> AutostartEntryText(std::string_view helperPath) {
    const std::optional<std::string> exec = QuotedExecArgument(helperPath);
    if (!exec) return std::nullopt;
    return "[Desktop Entry]\nType=Application\nName=Quendravine Virtual Drive\nExec=" + *exec +
           "\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
}

}  // namespace vdrive
