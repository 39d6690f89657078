// A drive's file system driven through its callbacks, without a mount: the
// tree of an image made by genisoimage, its bytes, the ends of files, the
// mounted-image attribute, and refusals.

#include <fcntl.h>

#include <cerrno>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "app/open_document.h"
#include "app/other_openers.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/sectors/sector_io.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "vdrive/image_filesystem.h"

namespace {

using vdrive::ImageFileSystem;

class ImageFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        app::InstallReaders();
        qvtest::RunOk("mkdir -p " + (dir_ / "src/sub") + " && cd " + (dir_ / "src") +
                      " && head -c 70000 /dev/urandom > sub/data.bin && printf hi > 'two words.txt'");
        qvtest::RunOk("genisoimage -quiet -J -r -o " + iso_ + " " + (dir_ / "src"));
        image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(iso_), false, true, false));
        ASSERT_TRUE(doc);
        fs_ = std::make_unique<ImageFileSystem>(std::move(doc));
    }
    void TearDown() override { app::UninstallReaders(); }

    std::string ReadAll(const char* path, int64_t offset, size_t size) {
        uint64_t handle = 0;
        EXPECT_EQ(fs_->Open(path, O_RDONLY, handle), 0);
        std::string out(size, '\0');
        const int n = fs_->Read(handle, out.data(), size, offset);
        fs_->Release(handle);
        out.resize(n > 0 ? size_t(n) : 0);
        return out;
    }

    qvtest::TempDir dir_;
    const std::string iso_ = dir_ / "t.iso";
    std::unique_ptr<ImageFileSystem> fs_;
};

TEST_F(ImageFileSystemTest, TreeBytesAndEnds) {
    std::vector<std::string> names;
    ASSERT_EQ(fs_->ReadDir("/", names), 0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "sub", "two words.txt"}));

    struct stat st {};
    ASSERT_EQ(fs_->GetAttr("/sub/data.bin", &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 70000);
    ASSERT_EQ(fs_->GetAttr("/sub", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(dir_ / "src/sub/data.bin");
    const std::string source(bytes.begin(), bytes.end());
    const std::string whole = ReadAll("/sub/data.bin", 0, 100000);
    ASSERT_EQ(whole.size(), source.size());
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), source.begin()));
    // A read across a sector boundary, and reads at and past the end.
    const std::string middle = ReadAll("/sub/data.bin", 2040, 20);
    EXPECT_TRUE(std::equal(middle.begin(), middle.end(), source.begin() + 2040));
    EXPECT_EQ(ReadAll("/sub/data.bin", 69990, 4096).size(), 10u);
    EXPECT_EQ(ReadAll("/sub/data.bin", 70000, 10).size(), 0u);
    EXPECT_EQ(ReadAll("/two words.txt", 0, 10), "hi");
}

// Files of an image that stores its sectors as they are are read from the
// image file itself; anything that would leave the file, or a document whose
// sectors are composed or shifted past the file's end, goes the readers' way.
TEST(PlainSectorFileOffset, OnlyRunsInsideAPlainImage) {
    app::InstallReaders();
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir -p " + (dir / "src") + " && head -c 50000 /dev/urandom > " + (dir / "src/a") +
                  " && genisoimage -quiet -o " + (dir / "t.iso") + " " + (dir / "src"));
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / "t.iso"), false, true, false));
    ASSERT_TRUE(doc);
    const int64_t end = doc->endSector;
    ASSERT_EQ(doc->imageSize, end * 2048);
    struct Row {
        const char* what;
        int64_t first, count;
        int32_t dataOffset, composed;
        std::optional<int64_t> offset;
    };
    const Row rows[] = {
        {"the first sector", 0, 1, 0, 0, 0},
        {"the last sectors", end - 3, 3, 0, 0, (end - 3) * 2048},
        {"past the end", end - 1, 2, 0, 0, std::nullopt},
        {"before the start", -1, 1, 0, 0, std::nullopt},
        {"an empty run at the end", end, 0, 0, 0, end * 2048},
        {"shifted inside the file", 0, 1, 2048, 0, 2048},
        {"shifted past the file's end", end - 1, 1, 2048, 0, std::nullopt},
        {"a composed image", 0, 1, 0, 1, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        doc->dataOffset = row.dataOffset;
        doc->composedRead = row.composed;
        EXPECT_EQ(image::PlainSectorFileOffset(*doc, row.first, row.count), row.offset);
    }
    doc->dataOffset = 0;
    doc->composedRead = 0;
    doc.reset();
    app::UninstallReaders();
}

TEST_F(ImageFileSystemTest, RefusalsAndAttribute) {
    struct stat st {};
    uint64_t handle = 0;
    std::vector<std::string> names;
    const struct {
        int result;
        int expected;
    } rows[] = {
        {fs_->GetAttr("/missing", &st), -ENOENT},
        {fs_->GetAttr("/two words.txt/below", &st), -ENOENT},
        {fs_->GetAttr("relative", &st), -ENOENT},
        {fs_->Open("/two words.txt", O_RDWR, handle), -EROFS},
        {fs_->Open("/sub", O_RDONLY, handle), -EISDIR},
        {fs_->ReadDir("/two words.txt", names), -ENOTDIR},
        {fs_->GetXattr("/sub", vdrive::kMountAttribute, nullptr, 0), -ENODATA},
        {fs_->GetXattr("/", "user.other", nullptr, 0), -ENODATA},
    };
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].result, rows[i].expected) << "row " << i;

    char value[4096];
    const int n = fs_->GetXattr("/", vdrive::kMountAttribute, value, sizeof value);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(value, size_t(n)), iso_);
    EXPECT_EQ(fs_->GetXattr("/", vdrive::kMountAttribute, value, 3), -ERANGE);
}

TEST(ImageFileSystemOtherReaders, FatItemsAreServedThroughTheirReader) {
    // Items of readers other than ISO 9660 come through the reader's own
    // extraction: a FAT volume made by mkfs.fat and mcopy.
    app::InstallReaders();
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + dir.path() + " && mkfs.fat -C f.img 4096 >/dev/null && head -c 30000 /dev/urandom > d.bin" +
                  " && mcopy -i f.img d.bin ::/d.bin");
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / "f.img"), false, true, false));
    ASSERT_TRUE(doc);
    ImageFileSystem fs(std::move(doc));
    uint64_t handle = 0;
    ASSERT_EQ(fs.Open("/d.bin", O_RDONLY, handle), 0);
    std::string data(40000, '\0');
    const int n = fs.Read(handle, data.data(), data.size(), 0);
    fs.Release(handle);
    ASSERT_EQ(n, 30000);
    data.resize(size_t(n));
    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(dir / "d.bin");
    EXPECT_EQ(data, std::string(bytes.begin(), bytes.end()));
    app::UninstallReaders();
}

// Every reader's items read at offsets that fall inside sectors, clusters and
// blocks, in pieces of an odd size, as the kernel asks a drive: FAT and UDF
// read ranges in place, NTFS and ext2 stream their files once, HFS reads its
// forks' runs. Each volume made by its own tool.
TEST(ImageFileSystemOtherReaders, ItemsReadInPiecesAtAnyOffset) {
    struct Row {
        const char* name;
        const char* image;
        const char* make;   // run in the test folder; the file is d.bin
    };
    const Row rows[] = {
        {"FAT", "f.img", "mkfs.fat -C f.img 4096 >/dev/null && mcopy -i f.img d.bin ::/d.bin"},
        {"UDF", "u.iso", "mkdir t && cp d.bin t/ && genisoimage -quiet -udf -o u.iso t 2>/dev/null"},
        {"NTFS", "n.img", "truncate -s 8M n.img && mkntfs -q -F -Q n.img && ntfscp -q n.img d.bin d.bin"},
        {"ext2", "e.img",
         "mkdir -p x && cp d.bin x/ && mke2fs -q -t ext2 -b 1024 -d x e.img 4M"
         " && printf '\\125\\252' | dd of=e.img bs=1 seek=510 conv=notrunc 2>/dev/null"},
        {"HFS", "h.img",
         "export HOME=$PWD && dd if=/dev/zero of=h.img bs=1k count=2048 2>/dev/null && hformat -l V h.img >/dev/null"
         " && hmount h.img >/dev/null && hcopy -r d.bin : && humount >/dev/null"},
    };
    app::InstallReaders();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dir;
        qvtest::RunOk("cd " + dir.path() + " && head -c 300001 /dev/urandom > d.bin && " + row.make);
        image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / row.image), false, true, false));
        ASSERT_TRUE(doc);
        ImageFileSystem fs(std::move(doc));
        uint64_t handle = 0;
        ASSERT_EQ(fs.Open("/d.bin", O_RDONLY, handle), 0);
        const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(dir / "d.bin");
        std::string data;
        std::string piece(7001, '\0');
        // From the end backwards: no piece is served by what the one before read.
        for (int64_t at = int64_t(bytes.size() / piece.size()) * int64_t(piece.size()); at >= 0;
             at -= int64_t(piece.size())) {
            const int n = fs.Read(handle, piece.data(), piece.size(), at);
            ASSERT_GE(n, 0) << at;
            data.insert(0, piece.data(), size_t(n));
        }
        fs.Release(handle);
        EXPECT_TRUE(data == std::string(bytes.begin(), bytes.end()));
    }
    app::UninstallReaders();
}

}  // namespace
