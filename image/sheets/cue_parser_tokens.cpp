#include "image/sheets/cue_parser_tokens.h"

#include "platform/file.h"
#include "platform/text.h"

namespace image {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsUpperAlnum(char16_t c) { return platform::IsAsciiDigit(c) || (c >= u'A' && c <= u'Z'); }

}  // namespace

SheetReadStatus ReadSheetBytes(const std::u16string& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    platform::FileHandle file = platform::FileOpen(path, platform::FileAccess::Read,
                                                   platform::FileDisposition::OpenExisting);
    if (!file) return SheetReadStatus::OpenFailed;
    uint64_t size = 0;
    SheetReadStatus status = SheetReadStatus::Ok;
    if (!platform::FileGetSize(file, size)) {
        status = SheetReadStatus::ReadFailed;
    } else if (size == 0) {
        status = SheetReadStatus::Empty;
    } else if (size >= kMaxSheetBytes) {
        status = SheetReadStatus::TooLarge;
    } else {
        bytes.resize(static_cast<size_t>(size));
        int64_t got = platform::FileReadAt(file, 0, bytes.data(), bytes.size());
        if (got != static_cast<int64_t>(size)) {
            bytes.clear();
            status = SheetReadStatus::ReadFailed;
        }
    }
    platform::FileClose(file);
    return status;
}

std::u16string SheetBytesToText(const std::vector<uint8_t>& bytes) {
    std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (view.size() >= 3 && static_cast<uint8_t>(view[0]) == 0xEF &&
        static_cast<uint8_t>(view[1]) == 0xBB && static_cast<uint8_t>(view[2]) == 0xBF) {
        return platform::Utf8ToUtf16(view.substr(3));
    }
    std::u16string text;
    // Sheets written by today's tools are UTF-8 without a mark; text in an
    // 8-bit code page with letters past ASCII is almost never valid UTF-8.
    if (platform::Utf8ToUtf16Strict(view, text)) return text;
    if (!platform::MultiByteToUtf16(platform::kCodePageAnsi, view, text)) {
        // No usable ANSI code page: Latin-1 keeps every byte as one character.
        text.clear();
        for (char c : view) text.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
    }
    return text;
}

std::vector<std::u16string_view> SplitSheetLines(std::u16string_view text) {
    std::vector<std::u16string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() &&
               (text[pos] == u'\t' || text[pos] == u'\n' || text[pos] == u'\r' || text[pos] == u' ' ||
                text[pos] == u'\0')) {
            ++pos;
        }
        size_t start = pos;
        while (pos < text.size() && text[pos] != u'\0' && text[pos] != u'\n' && text[pos] != u'\r') ++pos;
        size_t end = pos;
        if (end - start > kMaxSheetLineChars) end = start + kMaxSheetLineChars;
        while (end > start && IsBlank(text[end - 1])) --end;
        if (end > start) lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

void SheetTokenizer::SkipBlanks() {
    while (pos_ < line_.size() && IsBlank(line_[pos_])) ++pos_;
}

bool SheetTokenizer::AtEnd() {
    SkipBlanks();
    return pos_ >= line_.size();
}

std::u16string_view SheetTokenizer::Rest() {
    SkipBlanks();
    return line_.substr(pos_);
}

bool SheetTokenizer::Next(std::u16string& token, bool timeMode) {
    token.clear();
    SkipBlanks();
    if (pos_ >= line_.size()) return false;
    size_t start = pos_;
    size_t end = pos_;
    if (line_[pos_] == u'"') {
        start = ++pos_;
        while (pos_ < line_.size() && line_[pos_] != u'"') ++pos_;
        end = pos_;
        if (pos_ < line_.size()) ++pos_;   // the closing quote
    } else if (timeMode && line_[pos_] == u':') {
        ++pos_;
        token = u":";
        return true;
    } else {
        while (pos_ < line_.size() && !IsBlank(line_[pos_]) && !(timeMode && line_[pos_] == u':')) ++pos_;
        end = pos_;
    }
    while (end > start && (IsBlank(line_[end - 1]) || line_[end - 1] == u'"')) --end;
    token.assign(line_.substr(start, end - start));
    return true;
}

bool ParseSheetNumber(std::u16string_view token, int32_t& value) {
    if (token.empty() || token.size() > 9) return false;
    int32_t v = 0;
    for (char16_t c : token) {
        if (!platform::IsAsciiDigit(c)) return false;
        v = v * 10 + (c - u'0');
    }
    value = v;
    return true;
}

bool ReadSheetTime(SheetTokenizer& tokens, int32_t& sectors) {
    std::u16string mm, colon1, ss, colon2, ff;
    if (!tokens.Next(mm, true) || !tokens.Next(colon1, true) || !tokens.Next(ss, true) ||
        !tokens.Next(colon2, true) || !tokens.Next(ff, true)) {
        return false;
    }
    if (colon1 != u":" || colon2 != u":") return false;
    int32_t minutes = 0, seconds = 0, frames = 0;
    // Minutes are capped so the sector count fits 32 bits (far beyond any disc).
    if (!ParseSheetNumber(mm, minutes) || minutes > 99999) return false;
    if (!ParseSheetNumber(ss, seconds) || seconds > 59) return false;
    if (!ParseSheetNumber(ff, frames)) return false;
    if (frames > 74) frames = 0;
    sectors = minutes * 4500 + seconds * 75 + frames;
    return true;
}

bool CheckIsrc(std::u16string_view code, std::u16string& isrc) {
    isrc.clear();
    if (code.size() < 12) return false;
    size_t pos = 0;
    auto take = [&](size_t count, bool digitsOnly) {
        for (size_t i = 0; i < count; ++i) {
            if (pos >= code.size()) return false;
            char16_t c = code[pos];
            if (digitsOnly ? !platform::IsAsciiDigit(c) : !IsUpperAlnum(c)) return false;
            isrc.push_back(c);
            ++pos;
        }
        return true;
    };
    auto hyphen = [&] {
        if (pos < code.size() && code[pos] == u'-') ++pos;
    };
    bool ok = take(2, false);
    if (ok) hyphen();
    ok = ok && take(3, false);
    if (ok) hyphen();
    ok = ok && take(2, true);
    if (ok) hyphen();
    ok = ok && take(5, true);
    if (!ok) isrc.clear();
    return ok;
}

}  // namespace image
