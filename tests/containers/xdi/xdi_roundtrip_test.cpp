// XDI images made by our writer from a shell-made tree: read back by our
// reader (extracted, diff -r against the tree) and by the independent layout
// reader (tests/containers/mzp/mzp_oracle.py --xdi), whose decoded ISO image
// 7z then extracts; single files, three parts, a password and a comment.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "app/save_engine.h"
#include "codecs/crc32.h"
#include "containers/mzp/mzp_format.h"
#include "containers/xdi/xdi_volume_services.h"
#include "foundation/byte_order.h"
#include "foundation/file_io.h"
#include "containers/xdi/xdi_container.h"
#include "foundation/operation_status.h"
#include "image/build/add_disk_files.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/password_services.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

const std::string kOracle = std::string(QV_TEST_SOURCE_DIR) + "/tests/containers/mzp/mzp_oracle.py";

class PasswordAnswer final : public image::IPasswordServices {
public:
    std::string password;
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        if (password.empty()) return false;
        std::memset(ctx->outputPassword.data(), 0, ctx->outputPassword.size());
        std::memcpy(ctx->outputPassword.data(), password.data(), password.size());
        return true;
    }
};

class XdiRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        app::InstallReaders();
        previous_ = image::SetPasswordServices(&dialogs_);
        RunOk("cd " + ShellQuote(dir_.path()) +
              " && mkdir -p src/sub && seq 1 50000 > src/text.txt && head -c 2300000 /dev/urandom > src/sub/r.bin"
              " && : > src/empty && echo x > src/sub/x");
    }
    void TearDown() override {
        image::SetPasswordServices(previous_);
        app::UninstallReaders();
    }

    treetest::TreeDocument faces_;
    PasswordAnswer dialogs_;
    image::IPasswordServices* previous_ = nullptr;
    qvtest::TempDir dir_;
};

TEST_F(XdiRoundTrip, EveryLayoutReadsBackByBothReaders) {
    struct Case {
        const char* name;
        int level;
        const char* password;
        bool split;
        const char* comment;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"level 0", 0, "", false, "", {"a.xdi"}},
        {"level 1 with LZMA", 1, "", false, "", {"a.xdi"}},
        {"password and comment", 0, "secret", false, "an XDI comment", {"a.xdi"}},
        {"three parts", 0, "", true, "", {"a.part01.xdi", "a.part02.xdi", "a.part03.xdi"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunOk("rm -rf " + ShellQuote(dir_.path()) + "/*.xdi " + ShellQuote(dir_ / "ours") + " " +
              ShellQuote(dir_ / "peer"));
        image::DocumentPtr doc(image::NewIsoDocument());
        ASSERT_EQ(image::AddDiskFolderContents(doc.get(), doc->rootFolder, U(dir_ / "src"), nullptr), 1);
        doc->compressionLevel = c.level;
        if (*c.password) {
            doc->passwordEnabled = 1;
            std::strcpy(doc->outputPassword.data(), c.password);
        }
        if (c.split) {
            doc->splitOutput = 1;
            doc->volumeSize = 1 << 20;
        }
        if (*c.comment) {
            doc->archiveComment = c.comment;
            doc->archiveCommentPresent = 1;
        }
        ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "a.xdi"), -1, nullptr), 0) << foundation::OperationStatus.load();
        doc.reset();
        std::string expected;
        for (const std::string& f : c.files) expected += f + "\n";
        EXPECT_EQ(RunOk("cd " + ShellQuote(dir_.path()) + " && ls *.xdi"), expected);
        const std::string first = dir_ / c.files[0];

        dialogs_.password = c.password;
        image::DocumentPtr opened(app::OpenImageByPath(U(first), false, true, false));
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->formatCode, image::format_code::kXdi);
        EXPECT_EQ(opened->archiveComment, c.comment);
        app::ExtractRequest request;
        request.destination = U(dir_ / "ours");
        request.allFiles = true;
        EXPECT_EQ(app::ExtractItems(opened.get(), opened->rootFolder, {}, request, nullptr), 1);
        opened.reset();
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "ours") + " " + ShellQuote(dir_ / "src") + " && echo same"),
                  "same\n");

        RunOk("python3 " + ShellQuote(kOracle) + " --xdi " + ShellQuote(first) + " " + ShellQuote(dir_ / "img.iso") +
              " " + ShellQuote(c.password));
        RunOk("7z x -bd -y -o" + ShellQuote(dir_ / "peer") + " " + ShellQuote(dir_ / "img.iso") + " >/dev/null");
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "peer") + " " + ShellQuote(dir_ / "src") + " && echo same"),
                  "same\n");
        if (c.split) {
            // The second part file holds archive bytes [size1, size1 + size2 - 40) from byte 40 on.
            const auto p1 = qvtest::ReadFileBytes(first);
            const auto p2 = qvtest::ReadFileBytes(dir_ / c.files[1]);
            ASSERT_GE(p2.size(), 40u);
            EXPECT_EQ(foundation::ReadLE64(&p2[24]), p1.size());
            EXPECT_EQ(foundation::ReadLE64(&p2[32]), p2.size());
            EXPECT_EQ(foundation::ReadLE64(&p1[57]), p1.size());
        }
    }
}

TEST_F(XdiRoundTrip, HeaderEdges) {
    image::DocumentPtr doc(image::NewIsoDocument());
    ASSERT_EQ(image::AddDiskFolderContents(doc.get(), doc->rootFolder, U(dir_ / "src"), nullptr), 1);
    ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "a.xdi"), -1, nullptr), 0);
    const std::vector<uint8_t> good = qvtest::ReadFileBytes(dir_ / "a.xdi");
    struct Edit {
        const char* name;
        void (*apply)(std::vector<uint8_t>&);
        bool opens;
    };
    const Edit edits[] = {
        {"unchanged", [](std::vector<uint8_t>&) {}, true},
        {"header length 64", [](std::vector<uint8_t>& b) { foundation::WriteLE32(&b[4], 64); }, false},
        {"header length 9 MB", [](std::vector<uint8_t>& b) { foundation::WriteLE32(&b[4], 9u << 20); }, false},
        {"100 parts", [](std::vector<uint8_t>& b) { b[55] = 100; }, false},
        {"version 2", [](std::vector<uint8_t>& b) { foundation::WriteLE32(&b[12], 2); }, true},
        {"block size 0", [](std::vector<uint8_t>& b) { foundation::WriteLE32(&b[25], 0); }, false},
        {"first block inside the table", [](std::vector<uint8_t>& b) { foundation::WriteLE32(&b[20], 65); }, false},
    };
    for (const Edit& e : edits) {
        std::vector<uint8_t> bytes = good;
        e.apply(bytes);
        const uint32_t length = foundation::ReadLE32(&bytes[4]);
        if (length >= 65 && length <= bytes.size()) {
            std::memset(&bytes[8], 0, 4);
            foundation::WriteLE32(&bytes[8], codecs::Crc32(bytes.data(), length));
        }
        qvtest::WriteFileBytes(dir_ / "e.xdi", bytes.data(), bytes.size());
        image::ImageContext ctx;
        ctx.imagePath = U(dir_ / "e.xdi");
        ctx.imageHandle.reset(foundation::OpenFileForRead(ctx.imagePath));
        containers::XdiContainer* c = containers::OpenXdi(ctx, ctx.imagePath, ctx.imageHandle.get());
        EXPECT_EQ(c != nullptr, e.opens) << e.name;
        if (c && std::string(e.name) == "version 2") {
            EXPECT_TRUE(c->unsupportedVersion);
        }
        containers::CloseXdi(c);
    }
}

// Random mutations with the header CRC made right again, so they reach the
// table, the blocks and the comment: every open ends and reads fail cleanly.
TEST_F(XdiRoundTrip, RandomMutationsEndCleanly) {
    image::DocumentPtr doc(image::NewIsoDocument());
    ASSERT_EQ(image::AddDiskFolderContents(doc.get(), doc->rootFolder, U(dir_ / "src"), nullptr), 1);
    doc->archiveComment = "comment";
    doc->archiveCommentPresent = 1;
    ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "a.xdi"), -1, nullptr), 0);
    const std::vector<uint8_t> good = qvtest::ReadFileBytes(dir_ / "a.xdi");
    std::mt19937 rng(4145);
    std::vector<uint8_t> sector(2048);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bytes = good;
        for (int i = 0, n = 1 + int(rng() % 6); i < n; ++i) {
            const size_t span = rng() % 4 == 0 ? bytes.size() : std::min<size_t>(bytes.size(), 300);
            bytes[rng() % span] ^= uint8_t(1u << (rng() % 8));
        }
        if (rng() % 8 == 0) bytes.resize(rng() % bytes.size());
        const uint32_t length = bytes.size() >= 8 ? foundation::ReadLE32(&bytes[4]) : 0;
        if (length >= 65 && length <= bytes.size()) {
            std::memset(&bytes[8], 0, 4);
            foundation::WriteLE32(&bytes[8], codecs::Crc32(bytes.data(), length));
        }
        qvtest::WriteFileBytes(dir_ / "m.xdi", bytes.data(), bytes.size());
        image::ImageContext ctx;
        ctx.imagePath = U(dir_ / "m.xdi");
        ctx.imageHandle.reset(foundation::OpenFileForRead(ctx.imagePath));
        containers::XdiContainer* c = containers::OpenXdi(ctx, ctx.imagePath, ctx.imageHandle.get());
        if (!c) continue;
        for (uint64_t s = 0; s < std::min<uint64_t>(c->totalSectors, 2048); s += 5)
            containers::CopyXdiSector(*c, uint32_t(s), sector.data());
        containers::CloseXdi(c);
    }
}

TEST(XdiParts, StandInOpensNoMissingPart) {
    platform::SetLastError(0);
    EXPECT_EQ(containers::OpenXdiPartFile(nullptr, 2), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotSupported);
}

}  // namespace
