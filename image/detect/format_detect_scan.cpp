// The parts of format detection that look only at names and bytes: extensions,
// the magic numbers of formats left to other openers, and the raw scan for
// volume descriptors.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "image/detect/format_detect.h"
#include "image/sectors/format_table.h"
#include "platform/text.h"

namespace image {

namespace {
std::atomic<int> g_probeStatus{kProbeContinue};

constexpr size_t kMaxExtensionChars = 6;   // dot included
constexpr size_t kScanBlockBytes = 65536;
constexpr uint64_t kScanBlockStep = 65520;  // blocks overlap by 16 bytes
constexpr int kScanBlocks = 16;
constexpr uint64_t kTerminatorSearchSkip = 1024;

bool StartsWith(std::span<const uint8_t> head, std::initializer_list<uint8_t> magic) {
    return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
}
}  // namespace

int GetProbeStatus() { return g_probeStatus.load(); }
void SetProbeStatus(int status) { g_probeStatus.store(status); }

std::u16string GetFileExtension(std::u16string_view path) {
    const size_t dot = path.rfind(u'.');
    if (dot == std::u16string_view::npos) return {};
    const std::u16string_view ext = path.substr(dot);
    // A dot inside a folder name is no extension.
    if (ext.size() > kMaxExtensionChars || ext.find(u'/') != std::u16string_view::npos ||
        ext.find(u'\\') != std::u16string_view::npos) {
        return {};
    }
    return platform::ToLower(ext.substr(1));
}

int32_t GetFormatByExtension(std::u16string_view extension) {
    if (extension.empty()) return -1;
    const int32_t row = FindImageFormatRow(extension);
    if (row >= 0) return row;
    const std::u16string ext = platform::ToLower(extension);
    if (ext == u"hxi" || ext == u"exe") return format_code::kDaa;
    if (ext == u"mzp") return format_code::kMzp;
    if (ext == u"7z" || ext == u"zip") return 151;
    return -1;
}

bool IsProjectFormat(int32_t code) {
    switch (code) {
        case 102: case 103: case 104: case 106: case 107: case 110: return true;
        default: return false;
    }
}

size_t FindBytes(std::span<const uint8_t> haystack, std::span<const uint8_t> needle) {
    if (needle.empty() || needle.size() > haystack.size()) return std::u16string_view::npos;
    auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    return it == haystack.end() ? std::u16string_view::npos : static_cast<size_t>(it - haystack.begin());
}

bool IsLeftToOtherOpener(std::u16string_view path, std::span<const uint8_t> head) {
    // WIM: "MSWIM" and three zero bytes, whatever the name.
    if (StartsWith(head, {'M', 'S', 'W', 'I', 'M', 0, 0, 0})) return true;
    if (platform::EndsWithNoCase(path, u".tar") || platform::EndsWithNoCase(path, u".tar.001")) return true;
    // A tar inside a gzip, bzip2, xz or zstd stream: the archive library opens
    // it through to the tar; its compressed bytes hold no image to scan for.
    static constexpr struct {
        std::u16string_view suffixes[2];
        std::initializer_list<uint8_t> magic;
    } kCompressedTars[] = {
        {{u".tar.gz", u".tgz"}, {0x1F, 0x8B}},
        {{u".tar.bz2", u".tbz2"}, {'B', 'Z', 'h'}},
        {{u".tar.xz", u".txz"}, {0xFD, '7', 'z', 'X', 'Z', 0x00}},
        {{u".tar.zst", u".tzst"}, {0x28, 0xB5, 0x2F, 0xFD}},
    };
    for (const auto& c : kCompressedTars)
        if ((platform::EndsWithNoCase(path, c.suffixes[0]) || platform::EndsWithNoCase(path, c.suffixes[1])) && StartsWith(head, c.magic))
            return true;
    if ((platform::EndsWithNoCase(path, u".zip") || platform::EndsWithNoCase(path, u".zip.001") ||
         platform::EndsWithNoCase(path, u".zipx")) && StartsWith(head, {'P', 'K'})) {
        return true;
    }
    if (platform::EndsWithNoCase(path, u".rar") &&
        (StartsWith(head, {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00}) ||
         StartsWith(head, {0x52, 0x45, 0x7E, 0x5E}))) {
        return true;
    }
    if ((platform::EndsWithNoCase(path, u".7z") || platform::EndsWithNoCase(path, u".7z.001")) &&
        StartsWith(head, {0x37, 0x7A, 0xBC, 0xAF})) {
        return true;
    }
    return false;
}

RawScanResult ScanRawBytes(const FileBytesReader& read) {
    static constexpr uint8_t kPrimary[] = {0x01, 'C', 'D', '0', '0', '1'};
    static constexpr uint8_t kTerminator[] = {0xFF, 'C', 'D', '0', '0', '1'};
    RawScanResult result;
    std::vector<uint8_t> block(kScanBlockBytes);
    for (int i = 0; i < kScanBlocks && result.descriptorOffset < 0; ++i) {
        const uint64_t offset = kScanBlockStep * static_cast<uint64_t>(i);
        const int64_t got = read(offset, block.data(), block.size());
        if (got <= 0) break;
        const size_t pos = FindBytes({block.data(), static_cast<size_t>(got)}, kPrimary);
        if (pos != std::u16string_view::npos) result.descriptorOffset = static_cast<int64_t>(offset + pos);
    }
    if (result.descriptorOffset < 0) return result;

    const uint64_t from = static_cast<uint64_t>(result.descriptorOffset) + kTerminatorSearchSkip;
    const int64_t got = read(from, block.data(), block.size());
    if (got <= 0) return result;
    const size_t pos = FindBytes({block.data(), static_cast<size_t>(got)}, kTerminator);
    if (pos == std::u16string_view::npos) return result;
    const int64_t distance = static_cast<int64_t>(from + pos) - result.descriptorOffset;
    for (int64_t k = 1; k <= 16 && result.sizeCount < 4; ++k) {
        if (distance % k != 0) continue;
        const int64_t size = distance / k;
        if (size >= 2048 && size < 3072) result.sectorSizes[result.sizeCount++] = static_cast<int32_t>(size);
    }
    return result;
}

}  // namespace image
