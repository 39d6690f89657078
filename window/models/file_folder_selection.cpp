#include "window/models/file_folder_selection.h"

#include <sys/stat.h>

#include "platform/text.h"

namespace dialogs {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view TrimBlanks(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::u16string FolderWithSlash(std::u16string_view folder) {
    std::u16string f(folder);
    if (f.empty() || f.back() != u'/') f += u'/';
    return f;
}

bool Exists(const std::u16string& path) {
    struct stat st {};
    return ::lstat(platform::Utf16ToUtf8(path).c_str(), &st) == 0;
}

}  // namespace

std::u16string QuotedSelection(std::u16string_view folder, const std::vector<std::u16string>& paths) {
    const std::u16string base = FolderWithSlash(folder);
    std::u16string text;
    for (const std::u16string& path : paths) {
        std::u16string_view shown = path;
        if (shown.size() > base.size() && shown.substr(0, base.size()) == base) shown.remove_prefix(base.size());
        if (!text.empty()) text += u' ';
        text += u'"';
        text += shown;
        text += u'"';
    }
    return text;
}

SelectionResult ParseSelectionText(std::u16string_view text, std::u16string_view folder) {
    SelectionResult result;
    text = TrimBlanks(text);
    const bool quoted = text.find(u'"') != std::u16string_view::npos;
    if (text.empty() || (!quoted && text.find_first_of(u"*?") != std::u16string_view::npos)) return result;
    std::vector<std::u16string_view> names;
    while (!text.empty()) {
        const size_t open = text.find(u'"');
        if (open == std::u16string_view::npos) {
            names.push_back(TrimBlanks(text));
            break;
        }
        // Text before a quote is a name of its own.
        names.push_back(TrimBlanks(text.substr(0, open)));
        const size_t close = text.find(u'"', open + 1);
        if (close == std::u16string_view::npos) {
            names.push_back(TrimBlanks(text.substr(open + 1)));
            break;
        }
        names.push_back(TrimBlanks(text.substr(open + 1, close - open - 1)));
        text.remove_prefix(close + 1);
    }
    const std::u16string base = FolderWithSlash(folder);
    size_t used = 0;
    for (std::u16string_view name : names) {
        if (name.empty()) continue;
        std::u16string path = name.front() == u'/' ? std::u16string(name) : base + std::u16string(name);
        if (!Exists(path)) {
            result.outcome = SelectionOutcome::Invalid;
            result.paths.clear();
            result.bad.assign(name);
            return result;
        }
        used += path.size() + 2;
        if (used > kSelectionUnits) {
            result.outcome = SelectionOutcome::TooMany;
            result.paths.clear();
            return result;
        }
        result.paths.push_back(std::move(path));
    }
    result.outcome = result.paths.empty() ? SelectionOutcome::Filter : SelectionOutcome::Chosen;
    return result;
}

}  // namespace dialogs
