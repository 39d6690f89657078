#include "window/models/path_history.h"

#include <algorithm>
#include <string>

#include "foundation/settings.h"

namespace dialogs {

PathHistoryList::PathHistoryList(std::u16string_view prefix, size_t capacity)
    : prefix_(prefix.substr(0, 20)), capacity_(capacity) {}

std::u16string PathHistoryList::ValueName(size_t index) const {
    std::u16string name = prefix_;
    for (char c : std::to_string(index)) name.push_back(static_cast<char16_t>(c));
    return name;
}

void PathHistoryList::Load() {
    entries_.clear();
    for (size_t n = 0; n < capacity_; ++n) {
        const std::optional<std::u16string> value = foundation::ReadSettingString(ValueName(n));
        if (!value || value->empty()) break;
        entries_.push_back(*value);
    }
}

void PathHistoryList::Save() const {
    for (size_t n = 0; n < capacity_; ++n) foundation::WriteSettingString(ValueName(n), GetAt(n));
}

void PathHistoryList::Add(std::u16string_view path) {
    if (path.empty() || capacity_ == 0) return;
    // Folder names differ by case on this system, so only an exact match is
    // the same folder.
    entries_.erase(std::remove(entries_.begin(), entries_.end(), path), entries_.end());
    if (entries_.size() >= capacity_) entries_.resize(capacity_ - 1);
    entries_.insert(entries_.begin(), std::u16string(path));
    Save();
}

}  // namespace dialogs
