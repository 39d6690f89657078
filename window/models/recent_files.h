#pragma once
// The File menu's Recent Files list: up to four documents, newest first, kept
// in the settings store as "Reopen0".."Reopen3" (an unused slot empty).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dialogs {

inline constexpr size_t kRecentFileCount = 4;

class RecentFileList {
public:
    // Entries up to the first missing or empty value.
    void Load();
    // Every slot; nothing when the list was never loaded, so a list that
    // never saw the store cannot wipe it.
    void Save() const;
    // The path at the top; an equal entry moves up rather than repeating, and
    // the oldest falls off. Saved.
    void Add(std::u16string_view path);
    // The entry equal to path; saved. False when none was.
    bool Remove(std::u16string_view path);
    // Every entry gone, the emptied slots saved (a list never loaded is
    // loaded first, so the store is cleared all the same).
    void Clear();

    const std::vector<std::u16string>& Entries() const { return entries_; }
    bool Loaded() const { return loaded_; }

private:
    std::vector<std::u16string> entries_;
    bool loaded_ = false;
};

}  // namespace dialogs
