#pragma once
// The folders the user has shown in the current document, newest first, for
// Back, Forward and their drop-down menus. At most eight paths are kept; a
// folder shown again moves to the front instead of standing twice.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class NavigationHistory {
public:
    static constexpr size_t kMaxEntries = 8;

    void Clear();
    // A folder was shown: the entries newer than the one shown go first (a
    // visit after going back starts a new line), then an equal entry (compared
    // without case), then all beyond the eighth; the path becomes the newest
    // entry and the one shown.
    void Record(std::u16string_view path);
    // Index of the entry equal to path without case, -1 when absent.
    int Find(std::u16string_view path) const;
    // Removes the entry equal to path; the position stays on the entry it
    // pointed at (or the nearest older one).
    void Remove(std::u16string_view path);

    int Count() const { return static_cast<int>(entries_.size()); }
    int Position() const { return position_; }
    // Entries older than the one shown (what Back can reach).
    int BackCount() const;
    // Entries newer than the one shown (what Forward can reach).
    int ForwardCount() const;

    // Moves the position by n (Back to older entries, Forward to newer ones),
    // clamped to the list, and returns the entry there; nothing when the list
    // is empty.
    std::optional<std::u16string> Back(int n);
    std::optional<std::u16string> Forward(int n);
    // Shows the entry at index; nothing (and no move) when index is outside
    // the list.
    std::optional<std::u16string> SetPosition(int index);
    const std::u16string* Entry(int index) const;

    // The entries a drop-down lists, by index: Back from the one after the
    // shown entry to the oldest, Forward from the one before it to the newest.
    std::vector<int> MenuEntries(bool back) const;

private:
    std::vector<std::u16string> entries_;   // index 0 is the newest
    int position_ = 0;
};

// A path as a menu item's text: "&" doubled so it is no access key, control
// characters shown as U+FFFD so a name cannot break the menu's line.
std::u16string HistoryMenuText(std::u16string_view path);

}  // namespace app
