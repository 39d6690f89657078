#pragma once
// A short history of destination folders kept in the settings store: one
// string value per entry named by a prefix and the index ("ExtractPath0",
// "ExtractPath1", ...), newest first.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dialogs {

class PathHistoryList {
public:
    PathHistoryList(std::u16string_view prefix, size_t capacity);

    // Entries up to the first missing or empty value.
    void Load();
    // Every slot up to the capacity; empty past the last entry.
    void Save() const;
    // The path at the top; an equal entry moves up rather than repeating, and
    // the oldest falls off at the capacity. Saved at once.
    void Add(std::u16string_view path);

    const std::vector<std::u16string>& Entries() const { return entries_; }
    std::u16string GetAt(size_t index) const { return index < entries_.size() ? entries_[index] : std::u16string(); }
    size_t GetCount() const { return entries_.size(); }

private:
    std::u16string ValueName(size_t index) const;

    std::u16string prefix_;
    size_t capacity_;
    std::vector<std::u16string> entries_;
};

}  // namespace dialogs
