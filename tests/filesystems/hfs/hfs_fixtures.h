#pragma once
// Shared helpers of the HFS and HFS+ tests: volumes made by hfsutils and
// xorriso, the listings of hls and sleuthkit's fls, opening an image with the
// readers installed and reading an item's bytes.

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <cstdlib>

#include "filesystems/filesystem_readers.h"
#include "foundation/settings.h"
#include "filesystems/hfs/hfs_volume.h"
#include "tests/image/iso_fixtures.h"
#include "tests/support/test_support.h"

namespace hfstest {

class ReadersInstalled {
public:
    ReadersInstalled() { filesystems::InstallFilesystemReaders(); }
    ~ReadersInstalled() { filesystems::UninstallFilesystemReaders(); }
};

// Mac files are shown on hybrid discs for the life of the object, in a
// settings folder of its own so tests running beside it are not touched.
class MacFilesShown {
public:
    MacFilesShown() {
        const char* old = std::getenv("QV_CONFIG_DIR");
        if (old) saved_ = old;
        hadOld_ = old != nullptr;
        ::setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        foundation::WriteSettingDword(u"ShowMacFiles", 1);
    }
    ~MacFilesShown() {
        if (hadOld_) ::setenv("QV_CONFIG_DIR", saved_.c_str(), 1);
        else ::unsetenv("QV_CONFIG_DIR");
    }
    void Show(bool show) { foundation::WriteSettingDword(u"ShowMacFiles", show ? 1 : 0); }

private:
    qvtest::TempDir config_;
    std::string saved_;
    bool hadOld_ = false;
};

// hfsutils keeps its current volume in $HOME: each test gives its own.
inline std::string Hfs(const qvtest::TempDir& dir, const std::string& commands) {
    return qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && export HOME=" + qvtest::ShellQuote(dir.path()) +
                         " && " + commands);
}

// The words of a line after the first `skip` ones (names may hold spaces).
inline std::string After(const std::string& line, int skip) {
    size_t pos = 0;
    for (int i = 0; i < skip; ++i) {
        pos = line.find_first_not_of(' ', pos);
        pos = line.find(' ', pos);
        if (pos == std::string::npos) return "";
    }
    pos = line.find_first_not_of(' ', pos);
    return pos == std::string::npos ? "" : line.substr(pos);
}

// "path" -> data size (-1 folders) from `hls -alR` of the mounted volume;
// '/' in a name is shown as ':', as we show it.
inline std::map<std::string, int64_t> HlsListing(const qvtest::TempDir& dir, const std::string& image) {
    const std::string out = Hfs(dir, "hmount " + qvtest::ShellQuote(image) + " >/dev/null && hls -alR && humount >/dev/null");
    std::map<std::string, int64_t> listing;
    std::istringstream lines(out);
    std::string line, prefix;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        if (line[0] == ':') {
            prefix.clear();
            for (char c : line.substr(1)) prefix += c == ':' ? '/' : c;
            continue;
        }
        std::string name = After(line, line[0] == 'd' ? 6 : 7);
        for (char& c : name) if (c == '/') c = ':';
        std::istringstream words(line);
        std::string type, creator, rsrc, data;
        words >> type >> creator >> rsrc >> data;
        listing[prefix + name] = line[0] == 'd' ? -1 : std::stoll(data);
    }
    return listing;
}

// "path" -> size (-1 folders) of sleuthkit's recursive listing of the HFS+
// volume at 512-byte sector `start`; its own metadata files are left out.
inline std::map<std::string, int64_t> FlsListing(const std::string& image, uint64_t start) {
    const std::string out = qvtest::RunOk("fls -r -p -f hfs -o " + std::to_string(start) + " " + qvtest::ShellQuote(image));
    std::map<std::string, int64_t> listing;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t tab = line.find('\t');
        const size_t colon = line.find(':');
        if (tab == std::string::npos || colon == std::string::npos) continue;
        const std::string path = line.substr(tab + 1);
        if (path.empty() || path[0] == '$') continue;
        std::string inode = line.substr(4, colon - 4);
        if (!inode.empty() && inode[0] == ' ') inode = inode.substr(1);
        if (line[0] == 'd') {
            listing[path] = -1;
        } else {
            const std::string size = qvtest::RunOk("istat -f hfs -o " + std::to_string(start) + " " +
                                                   qvtest::ShellQuote(image) + " " + inode + " | sed -n 's/^Size:[[:space:]]*//p' | head -1");
            listing[path] = std::stoll(size);
        }
    }
    return listing;
}

inline std::map<std::string, int64_t> OurListing(const image::ImageContext& ctx) {
    std::map<std::string, int64_t> listing;
    for (const auto& [path, e] : isotest::ListTree(ctx)) listing[path.substr(1)] = e.folder ? -1 : e.size;
    return listing;
}

inline std::vector<uint8_t> ItemBytes(image::ImageContext& ctx, const image::ImageItem& item) {
    std::vector<uint8_t> bytes(size_t(item.size));
    EXPECT_EQ(filesystems::ReadHfsItemBytes(ctx, item, 0, bytes.data(), bytes.size()), int64_t(bytes.size()))
        << platform::Utf16ToUtf8(item.name);
    return bytes;
}

}  // namespace hfstest
