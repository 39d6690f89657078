#include "window/models/recent_files.h"

#include <algorithm>

#include "foundation/settings.h"

namespace dialogs {

namespace {

std::u16string ValueName(size_t index) { return u"Reopen" + std::u16string(1, static_cast<char16_t>(u'0' + index)); }

}  // namespace

void RecentFileList::Load() {
    entries_.clear();
    loaded_ = true;
    for (size_t n = 0; n < kRecentFileCount; ++n) {
        const std::optional<std::u16string> value = foundation::ReadSettingString(ValueName(n));
        if (!value || value->empty()) break;
        entries_.push_back(*value);
    }
}

void RecentFileList::Save() const {
    if (!loaded_) return;
    for (size_t n = 0; n < kRecentFileCount; ++n)
        foundation::WriteSettingString(ValueName(n), n < entries_.size() ? std::u16string_view(entries_[n]) : u"");
}

void RecentFileList::Add(std::u16string_view path) {
    if (path.empty()) return;
    // Names differ by case on this system: only an exact match is the same file.
    entries_.erase(std::remove(entries_.begin(), entries_.end(), path), entries_.end());
    if (entries_.size() >= kRecentFileCount) entries_.resize(kRecentFileCount - 1);
    entries_.insert(entries_.begin(), std::u16string(path));
    Save();
}

bool RecentFileList::Remove(std::u16string_view path) {
    auto found = std::find(entries_.begin(), entries_.end(), path);
    if (found == entries_.end()) return false;
    entries_.erase(found);
    Save();
    return true;
}

void RecentFileList::Clear() {
    entries_.clear();
    loaded_ = true;
    Save();
}

}  // namespace dialogs
