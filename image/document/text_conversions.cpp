#include "image/document/text_conversions.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "foundation/memory.h"
#include "platform/text.h"

namespace image {
namespace {

constexpr char16_t kReplacementChar = 0xFFFD;

struct ScratchDeleter {
    void operator()(uint8_t* block) const { foundation::MemFree(block); }
};
thread_local std::unique_ptr<uint8_t, ScratchDeleter> t_scratch;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool SameAddress(const void* a, const void* b) { return a == b; }

// The text the caller means: length units, or up to the terminator.
std::u16string_view WideSource(const char16_t* text, int32_t length) {
    if (!text) return {};
    if (length < 0) return std::u16string_view(text);
    return std::u16string_view(text, static_cast<size_t>(length));
}
std::string_view NarrowSource(const char* text, int32_t length) {
    if (!text) return {};
    if (length < 0) return std::string_view(text);
    return std::string_view(text, static_cast<size_t>(length));
}

std::string ToMultiByte(std::u16string_view text, uint32_t codePage) {
    std::string out;
    if (platform::Utf16ToMultiByte(codePage, text, out)) return out;
    // iconv does not know the code page: keep what every code page shares.
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        out += kDefaultMultiByteChar;
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
    }
    return out;
}

std::u16string ToWide(std::string_view bytes, uint32_t codePage) {
    std::u16string out;
    if (platform::MultiByteToUtf16(codePage, bytes, out)) return out;
    out.clear();
    for (char b : bytes) {
        unsigned char u = static_cast<unsigned char>(b);
        out += u < 0x80 ? static_cast<char16_t>(u) : kReplacementChar;
    }
    return out;
}

// The longest prefix of text, ending between characters, whose conversion
// fits into room bytes. Windows code pages are stateless, so a prefix converts
// to a prefix of the whole conversion and the search can halve.
std::string FittingPrefix(std::u16string_view text, uint32_t codePage, size_t room) {
    std::vector<size_t> ends;  // where each character ends
    for (size_t i = 0; i < text.size();) {
        i += (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ? 2 : 1;
        ends.push_back(i);
    }
    size_t low = 0;  // characters known to fit
    size_t high = ends.size();
    std::string best;
    while (low < high) {
        size_t mid = low + (high - low + 1) / 2;
        std::string piece = ToMultiByte(text.substr(0, ends[mid - 1]), codePage);
        if (piece.size() <= room) {
            low = mid;
            best = std::move(piece);
        } else {
            high = mid - 1;
        }
    }
    return best;
}

}  // namespace

int AllocScratchBuffer() {
    if (t_scratch) return 1;
    auto* block = static_cast<uint8_t*>(foundation::MemAllocZero(kScratchBufferBytes));
    if (!block) return 0;
    t_scratch.reset(block);
    return 1;
}

std::span<uint8_t> ScratchBuffer() {
    if (!t_scratch) return {};
    return std::span<uint8_t>(t_scratch.get(), kScratchBufferBytes);
}

int32_t WideToMultiByte(const char16_t* text, int32_t length, char* destination, uint32_t codePage,
                        int32_t destinationSize) {
    const bool terminate = length < 0;
    std::u16string_view source = WideSource(text, length);
    const bool inPlace = destination && SameAddress(text, destination);
    if (inPlace) {
        // The text is read from the scratch block, so writing the result over
        // it cannot feed back into the conversion.
        if (!AllocScratchBuffer()) return 0;
        size_t units = std::min(source.size(), (kScratchBufferBytes - 2) / 2);
        std::memcpy(t_scratch.get(), source.data(), units * 2);
        source = std::u16string_view(reinterpret_cast<const char16_t*>(t_scratch.get()), units);
        destinationSize = std::min(destinationSize, kScratchMultiByteBytes);
    }
    std::string converted = ToMultiByte(source, codePage);
    if (!destination || destinationSize <= 0)
        return static_cast<int32_t>(std::min<size_t>(converted.size(), INT32_MAX));
    size_t room = static_cast<size_t>(destinationSize) - (terminate ? 1 : 0);
    if (converted.size() > room) converted = FittingPrefix(source, codePage, room);
    std::memcpy(destination, converted.data(), converted.size());
    if (terminate) destination[converted.size()] = '\0';
    return static_cast<int32_t>(converted.size());
}

int32_t MultiByteToWide(const char* text, int32_t length, char16_t* destination, uint32_t codePage,
                        int32_t destinationBytes) {
    const bool terminate = length < 0;
    std::string_view source = NarrowSource(text, length);
    std::string copy;
    if (destination && SameAddress(text, destination)) {
        if (!AllocScratchBuffer()) return 0;
        size_t bytes = std::min(source.size(), kScratchBufferBytes - 2);
        std::memcpy(t_scratch.get(), source.data(), bytes);
        source = std::string_view(reinterpret_cast<const char*>(t_scratch.get()), bytes);
        destinationBytes = std::min(destinationBytes, kScratchWideChars * 2);
    }
    std::u16string converted = ToWide(source, codePage);
    const int32_t capacity = destinationBytes / 2;
    if (!destination || capacity <= 0) return static_cast<int32_t>(std::min<size_t>(converted.size(), INT32_MAX));
    size_t room = static_cast<size_t>(capacity) - (terminate ? 1 : 0);
    if (converted.size() > room) {
        converted.resize(room);
        if (!converted.empty() && IsHighSurrogate(converted.back())) converted.pop_back();
    }
    std::memcpy(destination, converted.data(), converted.size() * 2);
    if (terminate) destination[converted.size()] = u'\0';
    return static_cast<int32_t>(converted.size());
}

void SwapBytes16Copy(void* destination, const void* source, size_t byteLength) {
    if (!destination || !source || byteLength == 0) return;
    auto* out = static_cast<uint8_t*>(destination);
    const auto* in = static_cast<const uint8_t*>(source);
    std::vector<uint8_t> held;
    const bool overlaps = out != in && out < in + byteLength && in < out + byteLength;
    if (overlaps) {
        held.assign(in, in + byteLength);
        in = held.data();
    }
    size_t i = 0;
    for (; i + 1 < byteLength; i += 2) {
        uint8_t first = in[i];
        uint8_t second = in[i + 1];
        out[i] = second;
        out[i + 1] = first;
    }
    if (i < byteLength) out[i] = in[i];
}

std::string WideToMultiByteText(std::u16string_view text, uint32_t codePage) { return ToMultiByte(text, codePage); }

std::u16string MultiByteToWideText(std::string_view text, uint32_t codePage) { return ToWide(text, codePage); }

}  // namespace image
