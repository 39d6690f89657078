#pragma once
// The desktop's autostart entry that starts the drive helper at log-in. The
// helper's path goes into Exec= as one quoted argument escaped as the
// desktop-entry rules ask (the quoting rule, then the string-value rule, and
// "%%" for a literal per cent), so a folder like "/home/o'neil" or one holding
// "$(...)" starts exactly that program and nothing else.

#include <optional>
#include <string>
#include <string_view>

namespace vdrive {

// The entry's text; none for a path a desktop entry cannot hold (a control
// character such as a line break).
std::optional<std::string> AutostartEntryText(std::string_view helperPath);

}  // namespace vdrive
