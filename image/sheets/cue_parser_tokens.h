#pragma once
// The text layer of sheet reading: the whole sheet as wide text, its lines,
// the tokens of a line, MSF times and the ISRC check.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace image {

// Sheets are small text files; anything this large is not a sheet.
constexpr uint64_t kMaxSheetBytes = 0x20000;   // exclusive
constexpr size_t kMaxSheetLineChars = 2048;    // longer lines are cut
constexpr size_t kMaxSheetPathChars = 1023;

enum class SheetReadStatus { Ok, OpenFailed, Empty, TooLarge, ReadFailed };

// Reads the whole file (1 .. kMaxSheetBytes - 1 bytes).
SheetReadStatus ReadSheetBytes(const std::u16string& path, std::vector<uint8_t>& bytes);

// UTF-8 when the bytes begin with its byte-order mark or are valid UTF-8 as
// they stand, else the ANSI code page.
std::u16string SheetBytesToText(const std::vector<uint8_t>& bytes);

// The lines of a sheet: each starts after a run of tab, LF, CR and blank and
// ends at NUL, LF or CR; longer than kMaxSheetLineChars it is cut there (the
// rest of that line is dropped); trailing blanks and tabs are cut. Empty lines
// are not returned.
std::vector<std::u16string_view> SplitSheetLines(std::u16string_view text);

class SheetTokenizer {
public:
    explicit SheetTokenizer(std::u16string_view line) : line_(line) {}

    // The next token: it starts after blanks and tabs and ends at a blank or
    // tab; a double quote at its start makes it run to the next double quote.
    // Trailing blanks, tabs and double quotes are cut. In time mode a colon
    // also ends a token, and a colon on its own is a token. False at the end of
    // the line.
    bool Next(std::u16string& token, bool timeMode = false);
    // True when only blanks and tabs remain.
    bool AtEnd();
    // The rest of the line after the blanks that follow the current token.
    std::u16string_view Rest();

private:
    void SkipBlanks();

    std::u16string_view line_;
    size_t pos_ = 0;
};

// mm:ss:ff from the tokenizer in time mode: mm >= 0, ss 0..59, a frame value
// outside 0..74 counts as 0. False for anything else.
bool ReadSheetTime(SheetTokenizer& tokens, int32_t& sectors);

// A whole decimal number of at most 9 digits (no sign). False otherwise.
bool ParseSheetNumber(std::u16string_view token, int32_t& value);

// ISRC: 2 letters or digits, optional '-', 3 letters or digits, optional '-',
// 2 digits, optional '-', 5 digits. The 12 characters without hyphens go to
// isrc. At least 12 characters are needed; anything after the code is ignored.
bool CheckIsrc(std::u16string_view code, std::u16string& isrc);

}  // namespace image
