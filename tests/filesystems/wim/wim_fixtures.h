#pragma once
// WIM fixtures for the reader's tests: a source tree with the cases that
// matter (text, an x86 program, zeros, random bytes, files of 1 and 32769
// bytes, empty files and folders, hard links, deep folders), captured by
// wimlib-imagex at test time, and the walks that compare our document with
// wimlib-imagex's own listing and extraction.

#include <algorithm>
#include <string>
#include <vector>

#include "app/other_openers.h"
#include "filesystems/wim/wim_archive.h"
#include "foundation/file_io.h"
#include "image/document/document.h"
#include "image/document/item_tree.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace qvtest {

// The source tree (fixed times, so listings and extractions compare).
inline void MakeWimSourceTree(const std::string& dir) {
    const std::string d = ShellQuote(dir);
    RunOk("mkdir -p " + d + "/docs/deep/1/2/3/4/5/6/7/8/9/10/11/12 " + d + "/empty_folder " + d + "/bin && cd " + d +
          " && seq 1 40000 > docs/numbers.txt && cp /bin/ls bin/ls && head -c 1000000 /dev/zero > zeros"
          " && head -c 200000 /dev/urandom > random && printf x > one && head -c 32769 /dev/urandom > odd"
          " && (yes 'the quick brown fox' | head -c 70000) > docs/deep/1/2/3/4/5/6/7/8/9/10/11/12/fox"
          " && : > empty && : > docs/empty2 && ln docs/numbers.txt docs/deep/link_to_numbers"
          " && echo 'héllo wörld' > 'docs/ünïcode name.txt'"
          " && find . -exec touch -h -d '2020-02-03 04:05:06 UTC' {} +");
}

// "/"-separated paths of every item below the root, sorted, as
// wimlib-imagex dir prints them (with "/" for the root).
inline std::vector<std::string> ListDocument(image::ImageContext& ctx) {
    std::vector<std::string> out{"/"};
    struct Pending {
        const image::ImageFolder* folder;
        std::string path;
    };
    std::vector<Pending> work{{ctx.rootFolder, ""}};
    while (!work.empty()) {
        Pending p = work.back();
        work.pop_back();
        for (const image::ImageItem* item = p.folder->firstItem; item; item = item->next) {
            const std::string path = p.path + "/" + platform::Utf16ToUtf8(item->name.view());
            out.push_back(path);
            if (image::IsFolderItem(item) && item->ownFolder) work.push_back({item->ownFolder, path});
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Extracts every file of the document below folder dest (made first) with
// ExtractWimFile; the count of files that did not extract.
inline int ExtractDocument(image::ImageContext& ctx, const std::string& dest) {
    int failures = 0;
    struct Pending {
        const image::ImageFolder* folder;
        std::string path;
    };
    RunOk("mkdir -p " + ShellQuote(dest));
    std::vector<Pending> work{{ctx.rootFolder, dest}};
    while (!work.empty()) {
        Pending p = work.back();
        work.pop_back();
        for (const image::ImageItem* item = p.folder->firstItem; item; item = item->next) {
            const std::string path = p.path + "/" + platform::Utf16ToUtf8(item->name.view());
            if (image::IsFolderItem(item)) {
                RunOk("mkdir -p " + ShellQuote(path));
                if (item->ownFolder) work.push_back({item->ownFolder, path});
                continue;
            }
            foundation::UniqueFile out(foundation::CreateNewFile(platform::Utf8ToUtf16(path)));
            if (!out || filesystems::ExtractWimFile(nullptr, &ctx, item, out.get()) != 1) ++failures;
        }
    }
    return failures;
}

}  // namespace qvtest
