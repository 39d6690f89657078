#pragma once
// Who keeps a virtual drive busy: the processes whose working folder, root
// or open files lie inside the drive's folder. A busy drive is never
// unmounted by force, so the user is told whom to close instead.

#include <string>
#include <string_view>
#include <vector>

namespace vdrive {

// "name (pid)" of each such process, in process-id order, at most limit of
// them; processes this user may not inspect are not seen.
std::vector<std::u16string> FindDriveUsers(std::string_view folder, size_t limit = 8);

}  // namespace vdrive
