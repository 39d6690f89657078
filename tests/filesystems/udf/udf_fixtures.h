#pragma once
// Shared helpers of the UDF tests: opening an image as a document with the
// file-system readers installed, listing our tree, the peers' listings
// (7z's technical listing of the UDF side, udfinfo's facts) and reading an
// item's bytes.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "filesystems/filesystem_readers.h"
#include "filesystems/udf/udf_volume.h"
#include "tests/image/iso_fixtures.h"
#include "tests/support/test_support.h"

namespace udftest {

using isotest::Entry;

// The readers installed for the life of a test.
class ReadersInstalled {
public:
    ReadersInstalled() { filesystems::InstallFilesystemReaders(); }
    ~ReadersInstalled() { filesystems::UninstallFilesystemReaders(); }
};

// Paths (without a leading "/") and sizes (-1 for folders) of 7z's UDF listing.
inline std::map<std::string, int64_t> SevenZipListing(const std::string& image) {
    const std::string out = qvtest::RunOk("7z l -slt -tudf " + qvtest::ShellQuote(image));
    std::map<std::string, int64_t> listing;
    const size_t start = out.find("----------");
    std::string path;
    bool folder = false;
    size_t pos = start == std::string::npos ? out.size() : start;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(pos, end - pos);
        pos = end + 1;
        if (line.rfind("Path = ", 0) == 0) path = line.substr(7);
        else if (line.rfind("Folder = ", 0) == 0) folder = line.substr(9) == "+";
        else if (line.rfind("Size = ", 0) == 0 && !path.empty()) {
            listing[path] = folder ? -1 : std::stoll(line.substr(7).empty() ? "0" : line.substr(7));
            path.clear();
        }
    }
    return listing;
}

// The same from our tree.
inline std::map<std::string, int64_t> OurListing(const image::ImageContext& ctx) {
    std::map<std::string, int64_t> listing;
    for (const auto& [path, e] : isotest::ListTree(ctx)) listing[path.substr(1)] = e.folder ? -1 : e.size;
    return listing;
}

// key=value of udfinfo.
inline std::map<std::string, std::string> UdfInfo(const std::string& image, int* exitCode = nullptr) {
    const qvtest::CommandResult r = qvtest::Run("udfinfo " + qvtest::ShellQuote(image) + " 2>/dev/null");
    if (exitCode) *exitCode = r.exitCode;
    std::map<std::string, std::string> facts;
    size_t pos = 0;
    while (pos < r.output.size()) {
        size_t end = r.output.find('\n', pos);
        if (end == std::string::npos) end = r.output.size();
        const std::string line = r.output.substr(pos, end - pos);
        pos = end + 1;
        const size_t eq = line.find('=');
        if (eq != std::string::npos && !facts.count(line.substr(0, eq))) facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return facts;
}

inline std::vector<uint8_t> ItemBytes(image::ImageContext& ctx, const image::ImageItem& item) {
    std::vector<uint8_t> bytes(size_t(item.size));
    const int64_t got = filesystems::ReadUdfItemBytes(ctx, item, 0, bytes.data(), bytes.size());
    EXPECT_EQ(got, int64_t(bytes.size())) << platform::Utf16ToUtf8(item.name);
    return bytes;
}

// Every file of our tree against the file 7z extracted to root/path.
inline void ExpectSameBytesAs(image::ImageContext& ctx, const std::string& root) {
    for (const auto& [path, e] : isotest::ListTree(ctx)) {
        if (e.folder) continue;
        EXPECT_EQ(ItemBytes(ctx, *e.item), qvtest::ReadFileBytes(root + path)) << path;
    }
}

}  // namespace udftest
