// Appending a session: to an image file made by genisoimage (read back by
// isoinfo through sector 16 and by xorriso at the session's own start), and to
// a drive served by an in-memory disc behind the optical seam.

#include "image/iso/append_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "image/iso/el_torito.h"
#include "image/build/image_build.h"
#include "image/document/image_context.h"
#include "image/iso/iso_layout.h"
#include "image/iso/iso_reader.h"
#include "image/document/item_tree.h"
#include "foundation/optical_services.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using image::DocumentPtr;
using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

class AppendSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_ANSI_CODEPAGE", "1252", 1);
        setenv("TZ", "UTC", 1);
        setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
        foundation::ResetOperationStatus();
        std::string src = dir_ / "old";
        RunOk("mkdir -p " + ShellQuote(src + "/docs") + " && echo first > " + ShellQuote(src + "/first.txt") +
              " && head -c 300000 /dev/zero | tr '\\0' x > " + ShellQuote(src + "/docs/big.dat") +
              " && touch -d @1700000000 " + ShellQuote(src) + "/* " + ShellQuote(src) + "/docs/*");
        RunOk("genisoimage -quiet -J -R -o " + ShellQuote(dir_ / "old.iso") + " " + ShellQuote(src));
        qvtest::WriteFileText(dir_ / "second.txt", "second session\n");
    }

    // Opens the old image, adds a file and writes the new session at the old
    // image's end into a copy of it, then writes the head back.
    bool AppendTo(const std::string& out, bool preloadHead, int32_t* sessionStart, int32_t* areaSectors) {
        RunOk("cp " + ShellQuote(dir_ / "old.iso") + " " + ShellQuote(out));
        const std::vector<uint8_t> old = qvtest::ReadFileBytes(dir_ / "old.iso");
        int code = -1;
        DocumentPtr doc(image::OpenImageDocument(W(dir_ / "old.iso"), u"",
                                                 foundation::OpenFileForRead(W(dir_ / "old.iso")), true, 2, &code));
        EXPECT_TRUE(doc) << code;
        if (!doc) return false;
        image::ImageItem* item = image::NewItem();
        item->name = u"second.txt";
        item->diskPath = W(dir_ / "second.txt");
        item->size = 15;
        item->time = 1700000000;
        image::LinkItemAtHead(doc->rootFolder, item);

        const int32_t s = int32_t(old.size() / 2048);
        doc->discHeadSourcePath = W(dir_ / "old.iso");
        if (preloadHead) {
            doc->preloadedHead.assign(old.begin(), old.begin() + std::min<size_t>(old.size(), 320 * 2048));
            doc->preloadedHeadSectors = int32_t(doc->preloadedHead.size() / 2048);
        }
        EXPECT_EQ(image::LoadDiscHeadMirror(*doc, image::HeadTarget::ImageFile, nullptr), 1);

        doc->outputFormat = image::format_code::kIso;
        doc->outputHandle.reset(platform::FileOpen(W(out), platform::FileAccess::ReadWrite,
                                                   platform::FileDisposition::OpenExisting));
        EXPECT_TRUE(doc->outputHandle);
        image::ImageBuild build;
        image::LayoutError error = image::LayoutError::None;
        image::WriterArguments args;
        bool ok = image::PrepareTreeForWrite(*doc, build.iso, nullptr, &error) == 1 &&
                  image::BuildImageLayout(*doc, build, nullptr, s) == 1 &&
                  image::LayoutDirectoryTrees(*doc, build) == 1 && image::WriteImageContents(*doc, build, args) == 0;
        ok = ok && image::WriteDiscHeadMirror(*doc, image::HeadTarget::ImageFile, doc->outputHandle.get(), 32,
                                              build.descriptorAreaSectors) == 1;
        platform::FileClose(doc->outputHandle.release());
        image::FreeImageWriter(doc.get());
        *sessionStart = s;
        *areaSectors = build.descriptorAreaSectors;
        return ok;
    }

    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scoped_{&ui_};
};

TEST_F(AppendSessionTest, ToolsSeeOldAndNewFilesThroughTheHeadAndTheSessionAtItsStart) {
    const std::string out = dir_ / "out.iso";
    int32_t s = 0, area = 0;
    ASSERT_TRUE(AppendTo(out, true, &s, &area));
    EXPECT_EQ(area, 20);   // system area, primary, Joliet, terminator, marker

    // Through sector 16: the new tree, with the old files where they were.
    std::string listing = RunOk("isoinfo -l -i " + ShellQuote(out));
    EXPECT_NE(listing.find("FIRST.TXT"), std::string::npos) << listing;
    EXPECT_NE(listing.find("SECOND.TXT"), std::string::npos) << listing;
    EXPECT_NE(listing.find("BIG.DAT"), std::string::npos) << listing;
    RunOk("xorriso -osirrox on -indev " + ShellQuote(out) + " -extract / " + ShellQuote(dir_ / "x") + " 2>&1");
    RunOk("diff " + ShellQuote(dir_ / "old/docs/big.dat") + " " + ShellQuote(dir_ / "x/docs/big.dat"));
    RunOk("diff " + ShellQuote(dir_ / "second.txt") + " " + ShellQuote(dir_ / "x/second.txt"));
    // The session itself, read from its own start.
    std::string session = RunOk("xorriso -load sbsector " + std::to_string(s) + " -indev " + ShellQuote(out) +
                                " -ls / 2>&1");
    EXPECT_NE(session.find("second.txt"), std::string::npos) << session;
    EXPECT_NE(session.find("first.txt"), std::string::npos) << session;
    // The head outside the descriptor area is the old one.
    const std::vector<uint8_t> old = qvtest::ReadFileBytes(dir_ / "old.iso");
    const std::vector<uint8_t> now = qvtest::ReadFileBytes(out);
    ASSERT_GE(now.size(), size_t(s + 320) * 2048);
    EXPECT_TRUE(std::equal(old.begin() + area * 2048, old.end(), now.begin() + area * 2048));
}

TEST_F(AppendSessionTest, WithoutAPreloadedHeadOnlyTheDescriptorAreaIsWritten) {
    const std::string out = dir_ / "out.iso";
    int32_t s = 0, area = 0;
    ASSERT_TRUE(AppendTo(out, false, &s, &area));
    const std::vector<uint8_t> now = qvtest::ReadFileBytes(out);
    // Sector 16 of the file is the session's primary descriptor.
    EXPECT_TRUE(std::equal(now.begin() + 16 * 2048, now.begin() + 17 * 2048, now.begin() + (s + 16) * 2048));
    const std::vector<uint8_t> old = qvtest::ReadFileBytes(dir_ / "old.iso");
    EXPECT_TRUE(std::equal(old.begin() + area * 2048, old.end(), now.begin() + area * 2048));
}

TEST_F(AppendSessionTest, AnOldFileInsideTheRewrittenHeadStopsTheLayout) {
    int code = -1;
    DocumentPtr doc(image::OpenImageDocument(W(dir_ / "old.iso"), u"",
                                             foundation::OpenFileForRead(W(dir_ / "old.iso")), true, 2, &code));
    ASSERT_TRUE(doc) << code;
    image::ImageItem* first = image::FindItemByPath(doc.get(), doc->rootFolder, u"/first.txt");
    ASSERT_NE(first, nullptr);
    first->startSector = 18;   // as another program may place a file
    doc->discHeadSourcePath = W(dir_ / "old.iso");
    ASSERT_EQ(image::LoadDiscHeadMirror(*doc, image::HeadTarget::ImageFile, nullptr), 1);
    image::ImageBuild build;
    image::LayoutError error = image::LayoutError::None;
    ASSERT_EQ(image::PrepareTreeForWrite(*doc, build.iso, nullptr, &error), 1);
    EXPECT_EQ(image::BuildImageLayout(*doc, build, nullptr, 1000), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusSourceReadFailed);
}

TEST_F(AppendSessionTest, ABootImagesInfoTableNamesTheSessionsPrimaryDescriptor) {
    std::vector<uint8_t> boot(10000);
    for (size_t i = 0; i < boot.size(); ++i) boot[i] = uint8_t(i * 13);
    qvtest::WriteFileBytes(dir_ / "old/boot.img", boot.data(), boot.size());
    RunOk("xorriso -as mkisofs -b boot.img -no-emul-boot -boot-load-size 4 -boot-info-table -o " +
          ShellQuote(dir_ / "old.iso") + " " + ShellQuote(dir_ / "old") + " 2>&1");
    const std::string out = dir_ / "out.iso";
    int32_t s = 0, area = 0;
    ASSERT_TRUE(AppendTo(out, true, &s, &area));
    EXPECT_EQ(area, 20);   // primary, boot record, terminator, marker (no Joliet here)
    std::string report = RunOk("xorriso -load sbsector " + std::to_string(s) + " -indev " + ShellQuote(out) +
                               " -report_el_torito plain 2>/dev/null");
    size_t at = report.find("El Torito boot img :   1  BIOS  y   none");
    ASSERT_NE(at, std::string::npos) << report;
    const uint32_t lba = uint32_t(std::stoul(report.substr(report.find_last_of(' ', report.find('\n', at)) + 1)));
    const std::vector<uint8_t> now = qvtest::ReadFileBytes(out);
    auto le32 = [&](size_t p) {
        return uint32_t(now[p]) | uint32_t(now[p + 1]) << 8 | uint32_t(now[p + 2]) << 16 | uint32_t(now[p + 3]) << 24;
    };
    EXPECT_GT(lba, uint32_t(s));
    EXPECT_EQ(le32(size_t(lba) * 2048 + 8), uint32_t(s + 16));
    EXPECT_EQ(le32(size_t(lba) * 2048 + 12), lba);
}

// A drive behind the optical seam: a disc of 400 sectors in memory.
class MemoryDisc final : public qvtest::NullOpticalServices {
public:
    MemoryDisc() : bytes(400 * 2048, 0) {
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 / 2048);
    }
    int LockAndDismountVolume(platform::FileHandle, int) override { return 1; }
    int UnlockVolume(platform::FileHandle) override { return 1; }
    void BurnLogString(bool, std::u16string_view text) override { log.push_back(std::u16string(text)); }
    int ScsiRead10(platform::FileHandle, uint32_t lba, uint16_t count, void* buffer, uint32_t, uint32_t* transferred)
        override {
        std::memcpy(buffer, bytes.data() + size_t(lba) * 2048, size_t(count) * 2048);
        *transferred = uint32_t(count) * 2048;
        return 1;
    }
    int ScsiWrite10(platform::FileHandle, uint32_t lba, const void* buffer, uint32_t byteLength, uint32_t) override {
        writes.push_back({lba, byteLength / 2048});
        if (failWrites) return 0;
        std::memcpy(bytes.data() + size_t(lba) * 2048, buffer, byteLength);
        return 1;
    }
    std::vector<uint8_t> bytes;
    std::vector<std::pair<uint32_t, uint32_t>> writes;
    std::vector<std::u16string> log;
    bool failWrites = false;
};

class DriveHeadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ctx_.discHeadSourcePath = u"/dev/sr0";
        ctx_.sessionStartLba = 1000;
        ASSERT_EQ(image::LoadDiscHeadMirror(ctx_, image::HeadTarget::Drive, nullptr), 1);
        ASSERT_EQ(ctx_.discHeadCount, 320);
    }
    // The session wrote sector S + at with new content.
    void Capture(int32_t at) {
        std::vector<uint8_t> sector(2048, 0xEE);
        ASSERT_EQ(image::CaptureSessionHead(ctx_, 20, sector.data(), 1000 + at, 1), 1);
    }
    MemoryDisc disc_;
    foundation::ScopedServices<foundation::SetOpticalServices> scopedDisc_{&disc_};
    image::ImageContext ctx_;
};

TEST_F(DriveHeadTest, AnUnchangedHeadWritesNothing) {
    EXPECT_EQ(image::WriteDiscHeadMirror(ctx_, image::HeadTarget::Drive, nullptr, 32, 20), 1);
    EXPECT_TRUE(disc_.writes.empty());
}

TEST_F(DriveHeadTest, OneChangedSectorWritesItsWholeBlockFromZero) {
    Capture(17);
    Capture(25);   // outside the 20-sector descriptor area: not captured
    EXPECT_EQ(image::WriteDiscHeadMirror(ctx_, image::HeadTarget::Drive, nullptr, 32, 20), 1);
    ASSERT_EQ(disc_.writes.size(), 1u);
    EXPECT_EQ(disc_.writes[0], std::make_pair(0u, 32u));
    EXPECT_EQ(disc_.bytes[17 * 2048], 0xEE);
    EXPECT_NE(disc_.bytes[25 * 2048], 0xEE);
}

TEST_F(DriveHeadTest, ALargerDescriptorAreaThanTheMirrorIsRefused) {
    std::vector<uint8_t> sectors(2048 * 4, 0xEE);
    EXPECT_EQ(image::CaptureSessionHead(ctx_, 321, sectors.data(), 1000, 4), 0);
}

TEST_F(DriveHeadTest, AFailedWriteIsLoggedWithItsSector) {
    Capture(3);
    disc_.failWrites = true;
    EXPECT_EQ(image::WriteDiscHeadMirror(ctx_, image::HeadTarget::Drive, nullptr, 16, 20), 0);
    ASSERT_FALSE(disc_.log.empty());
    EXPECT_EQ(platform::Utf16ToUtf8(disc_.log[0]), "Error writing data. (301-00000000)");
}

}  // namespace
