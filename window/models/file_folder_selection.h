#pragma once
// The text of a file-and-folder chooser's name box and what it stands for:
// the selected names shown quoted, and the typed text turned back into full
// paths when the user presses OK. Folders are taken like files, which the
// stock open dialog refuses.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dialogs {

// The most UTF-16 units the chosen paths may take together (each with two
// units of its own), so a huge selection is refused rather than half-taken.
constexpr size_t kSelectionUnits = 4194304;

// The names, each in double quotes, one space between; a name inside
// `folder` is shown relative to it.
std::u16string QuotedSelection(std::u16string_view folder, const std::vector<std::u16string>& paths);

enum class SelectionOutcome {
    Chosen,      // `paths` holds the chosen files and folders, in order
    Filter,      // empty text, or a wildcard pattern: the view filters or navigates
    Invalid,     // `bad` names a path that does not exist
    TooMany,     // over kSelectionUnits
};

struct SelectionResult {
    SelectionOutcome outcome = SelectionOutcome::Filter;
    std::vector<std::u16string> paths;
    std::u16string bad;
};

// The typed text: quoted names, or, with no quote left, the rest as one name;
// spaces and tabs around each are dropped. A name starting with "/" is a full
// path; any other is inside `folder`. Every path must exist.
SelectionResult ParseSelectionText(std::u16string_view text, std::u16string_view folder);

}  // namespace dialogs
