#pragma once
// What the chunk-image tests share: a small ISO made by xorriso from a tree of
// random, text and empty files, the fixture writer that wraps it in a
// compressed image (tests/containers/chunk_fixtures.py), and the checks that
// a document opened through the open entry reads that ISO sector for sector
// and extracts that tree file for file.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/sectors/sector_io.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace chunktest {

inline std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

inline std::string FixtureScript() {
    return qvtest::ShellQuote(std::string(QV_TEST_SOURCE_DIR) + "/tests/containers/chunk_fixtures.py");
}

// tree/ and t.iso in dir: 300 KB of random bytes, a text of 100 KB, a folder.
inline void MakeIso(const qvtest::TempDir& dir) {
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && mkdir -p tree/sub/deeper && head -c 300000 /dev/urandom > tree/rnd.bin"
                  " && for i in $(seq 1 3000); do echo \"line $i of a text that compresses\"; done > tree/sub/text.txt"
                  " && echo hi > tree/a.txt && : > tree/sub/deeper/empty"
                  " && xorriso -as mkisofs -quiet -J -o t.iso tree 2>/dev/null");
}

inline image::DocumentPtr Open(const std::string& path) {
    return image::DocumentPtr(app::OpenImageByPath(U(path), false, true, false));
}

// Every sector of the document equals the ISO's, in runs of 7 (so runs
// straddle chunks), and reading past the end gives nothing.
inline void ExpectSectorsOf(image::ImageContext& doc, const std::string& isoPath) {
    const std::vector<uint8_t> iso = qvtest::ReadFileBytes(isoPath);
    const int32_t sectors = int32_t(iso.size() / 2048);
    ASSERT_EQ(doc.endSector, sectors);
    std::vector<uint8_t> buffer(7 * 2048);
    for (int32_t s = 0; s < sectors; s += 7) {
        const int32_t n = std::min(7, sectors - s);
        ASSERT_EQ(image::ReadImageSectors(doc, s, buffer.data(), n), n) << "sector " << s;
        ASSERT_EQ(std::memcmp(buffer.data(), iso.data() + size_t(s) * 2048, size_t(n) * 2048), 0) << "sector " << s;
    }
}

// The whole tree extracted equals the tree the ISO was made from.
inline void ExpectExtractsTree(image::ImageContext& doc, const qvtest::TempDir& dir) {
    qvtest::RunOk("rm -rf " + qvtest::ShellQuote(dir / "out"));
    app::ExtractRequest request;
    request.destination = U(dir / "out");
    request.allFiles = true;
    ASSERT_EQ(app::ExtractItems(&doc, doc.rootFolder, {}, request, nullptr), 1);
    EXPECT_EQ(qvtest::RunOk("diff -r " + qvtest::ShellQuote(dir / "out") + " " + qvtest::ShellQuote(dir / "tree")),
              "");
}

struct Readers {
    Readers() { app::InstallReaders(); }
    ~Readers() { app::UninstallReaders(); }
};

}  // namespace chunktest
