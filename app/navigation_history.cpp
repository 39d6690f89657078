#include "app/navigation_history.h"

#include <algorithm>

#include "platform/text.h"

namespace app {

void NavigationHistory::Clear() {
    entries_.clear();
    position_ = 0;
}

void NavigationHistory::Record(std::u16string_view path) {
    // The newer entries go before the equal one is looked for: visiting an
    // entry that was itself among the newer ones must not leave the position
    // pointing past the end.
    const size_t newer = std::min(static_cast<size_t>(std::max(position_, 0)), entries_.size());
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(newer));
    if (const int found = Find(path); found >= 0) entries_.erase(entries_.begin() + found);
    if (entries_.size() > kMaxEntries - 1) entries_.resize(kMaxEntries - 1);
    entries_.insert(entries_.begin(), std::u16string(path));
    position_ = 0;
}

int NavigationHistory::Find(std::u16string_view path) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (platform::EqualsNoCase(entries_[i], path)) return static_cast<int>(i);
    return -1;
}

void NavigationHistory::Remove(std::u16string_view path) {
    const int found = Find(path);
    if (found < 0) return;
    entries_.erase(entries_.begin() + found);
    if (found < position_) --position_;
    position_ = std::clamp(position_, 0, std::max(Count() - 1, 0));
}

int NavigationHistory::BackCount() const { return entries_.empty() ? 0 : std::max(Count() - position_ - 1, 0); }

int NavigationHistory::ForwardCount() const { return entries_.empty() ? 0 : std::clamp(position_, 0, Count() - 1); }

std::optional<std::u16string> NavigationHistory::Back(int n) {
    if (entries_.empty()) return std::nullopt;
    position_ = std::clamp(position_ + n, 0, Count() - 1);
    return entries_[static_cast<size_t>(position_)];
}

std::optional<std::u16string> NavigationHistory::Forward(int n) {
    if (entries_.empty()) return std::nullopt;
    position_ = std::clamp(position_ - n, 0, Count() - 1);
    return entries_[static_cast<size_t>(position_)];
}

std::optional<std::u16string> NavigationHistory::SetPosition(int index) {
    if (index < 0 || index >= Count()) return std::nullopt;
    position_ = index;
    return entries_[static_cast<size_t>(index)];
}

const std::u16string* NavigationHistory::Entry(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return &entries_[static_cast<size_t>(index)];
}

std::vector<int> NavigationHistory::MenuEntries(bool back) const {
    std::vector<int> indices;
    if (entries_.empty()) return indices;
    const int at = std::clamp(position_, 0, Count() - 1);
    if (back)
        for (int i = at + 1; i < Count(); ++i) indices.push_back(i);
    else
        for (int i = at - 1; i >= 0; --i) indices.push_back(i);
    return indices;
}

std::u16string HistoryMenuText(std::u16string_view path) {
    std::u16string text;
    text.reserve(path.size());
    for (char16_t c : path) {
        if (c == u'&') text += u"&&";
        else if (c < 0x20 || c == 0x7F) text += u'\uFFFD';
        else text += c;
    }
    return text;
}

}  // namespace app
