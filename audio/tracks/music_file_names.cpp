#include "audio/tracks/music_file_names.h"

#include <array>

#include "foundation/language.h"
#include "image/sheets/track_list.h"
#include "platform/format.h"

namespace audio {
namespace {

struct Token {
    char16_t letter;
    uint32_t placeholderId;
    const char16_t* placeholder;
    uint32_t sampleId;
    const char16_t* sample;
    uint32_t fallbackId;   // 0: none (the number), or "Track%02d" for the title
    const char16_t* fallback;
    int record;            // 0 the disc, 1 the track, -1 the number
    int slot;
};

constexpr std::array<Token, 7> kTokens{{
    {u'#', 1910, u"<Track Number>", 0, nullptr, 0, nullptr, -1, 0},
    {u't', 1920, u"<Track Title>", 1980, u"Sample Track Title", 0, nullptr, 1, image::cdtext_slot::kTitle},
    {u'p', 1930, u"<Track Artist>", 1990, u"Sample Track Artist", 2040, u"Unknown Track Artist", 1,
     image::cdtext_slot::kPerformer},
    {u'c', 1940, u"<Track Composer>", 2000, u"Sample Track Composer", 2050, u"Unknown Track composer", 1,
     image::cdtext_slot::kComposer},
    {u'T', 1950, u"<Album Title>", 2010, u"Sample Album Title", 2060, u"Unknown Album Title", 0,
     image::cdtext_slot::kTitle},
    {u'P', 1960, u"<Album Artist>", 2020, u"Sample Album Artist", 2070, u"Unknown Album Artist", 0,
     image::cdtext_slot::kPerformer},
    {u'C', 1970, u"<Album Composer>", 2030, u"Sample Album Composer", 2080, u"Unknown Album Composer", 0,
     image::cdtext_slot::kComposer},
}};

const Token* FindToken(char16_t letter) {
    for (const Token& t : kTokens) {
        if (t.letter == letter) return &t;
    }
    return nullptr;
}

// The current language's text, or the English one when it is missing or empty.
std::u16string Lang(uint32_t id, const char16_t* english) {
    std::u16string text = foundation::GetLangString(id, english);
    return text.empty() ? std::u16string(english) : text;
}

bool IsBlanked(char16_t c) {
    switch (c) {
    case u'"': case u'*': case u'/': case u':': case u'<': case u'>': case u'?': case u'\\': return true;
    default: return c < 0x20 || c == 0x7F;
    }
}

std::u16string Number(int32_t position) { return platform::Format(u"%02d", position + 1); }

std::u16string RealValue(const Token& t, const image::TrackList* list, int32_t position) {
    if (t.record < 0) return Number(position);
    const int32_t index = t.record == 0 ? 0 : position + 1;
    if (list && index >= 0 && index < image::kTrackSlots && list->details[size_t(index)]) {
        const std::u16string& text = list->details[size_t(index)]->texts[size_t(t.slot)];
        if (!text.empty()) return SanitizeFileNameText(text);
    }
    if (t.letter == u't') return platform::Format(u"Track%02d", position + 1);
    return SanitizeFileNameText(Lang(t.fallbackId, t.fallback));
}

std::u16string ValueOf(const Token& t, NameMode mode, const image::TrackList* list, int32_t position) {
    switch (mode) {
    case NameMode::Placeholders: return Lang(t.placeholderId, t.placeholder);
    case NameMode::Samples: return t.sampleId ? Lang(t.sampleId, t.sample) : Number(position);
    default: return RealValue(t, list, position);
    }
}

size_t Utf8Bytes(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// UTF-8 bytes of the character starting at text[i], and its length in units.
size_t CharAt(std::u16string_view text, size_t i, size_t& units) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
        units = 2;
        return 4;
    }
    units = 1;
    return Utf8Bytes(c);
}

size_t Utf8Size(std::u16string_view text) {
    size_t bytes = 0;
    for (size_t i = 0, units = 0; i < text.size(); i += units) bytes += CharAt(text, i, units);
    return bytes;
}

// The longest prefix of text within limit UTF-8 bytes, never splitting a pair.
std::u16string_view Cut(std::u16string_view text, size_t limit) {
    size_t bytes = 0, i = 0;
    while (i < text.size()) {
        size_t units = 0;
        const size_t n = CharAt(text, i, units);
        if (bytes + n > limit) break;
        bytes += n;
        i += units;
    }
    return text.substr(0, i);
}

}  // namespace

std::u16string_view AudioFormatExtension(int32_t format) {
    switch (format) {
    case kAudioWav: return u".wav";
    case kAudioWma: return u".wma";
    case kAudioMp3: return u".mp3";
    case kAudioApe: return u".ape";
    case kAudioFlac: return u".flac";
    case kAudioOgg: return u".ogg";
    default: return {};
    }
}

std::u16string SanitizeFileNameText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            out += c;
            out += text[++i];
        } else if (c >= 0xD800 && c < 0xE000) {
            out += u'\uFFFD';
        } else {
            out += IsBlanked(c) ? u' ' : c;
        }
    }
    return out;
}

std::u16string ExpandAudioFileName(NameMode mode, std::u16string_view pattern, const image::TrackList* list,
                                   int32_t position, std::u16string_view prefix, int32_t format) {
    if (mode == NameMode::Tokens) {
        std::u16string text(pattern);
        for (const Token& t : kTokens) {
            const std::u16string placeholder = Lang(t.placeholderId, t.placeholder);
            const std::u16string token = std::u16string(u"|") + t.letter;
            for (size_t at = text.find(placeholder); at != std::u16string::npos;
                 at = text.find(placeholder, at + token.size())) {
                text.replace(at, placeholder.size(), token);
            }
        }
        return text;
    }
    std::u16string out(prefix);
    std::u16string literal;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != u'|') {
            literal += pattern[i];
            continue;
        }
        // A bar followed by a bar: the first is dropped, the second starts the token.
        while (i + 1 < pattern.size() && pattern[i + 1] == u'|') ++i;
        if (i + 1 >= pattern.size()) break;   // a bar at the very end is dropped
        const Token* token = FindToken(pattern[i + 1]);
        ++i;
        if (!token) {
            literal += pattern[i];
            continue;
        }
        out += SanitizeFileNameText(literal);
        literal.clear();
        out += ValueOf(*token, mode, list, position);
    }
    out += SanitizeFileNameText(literal);
    if (mode != NameMode::Placeholders) out += AudioFormatExtension(format);
    return out;
}

std::u16string ClipFileNameComponent(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    const size_t start = slash == std::u16string_view::npos ? 0 : slash + 1;
    const std::u16string_view name = path.substr(start);
    if (Utf8Size(name) <= kMaxNameBytes) return std::u16string(path);
    std::u16string_view stem = name, extension;
    if (const size_t dot = name.rfind(u'.'); dot != std::u16string_view::npos && dot > 0 &&
                                             Utf8Size(name.substr(dot)) < kMaxNameBytes / 2) {
        stem = name.substr(0, dot);
        extension = name.substr(dot);
    }
    std::u16string out(path.substr(0, start));
    out += Cut(stem, kMaxNameBytes - Utf8Size(extension));
    out += extension;
    return out;
}

}  // namespace audio
