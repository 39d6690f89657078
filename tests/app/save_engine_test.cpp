// The save engine against real tools: images it writes are checked by
// isovfy, isoinfo, 7z and bchunk; a save over the document's own file, a
// label-only save in place, formats without a writer, volumes, and a save that
// fails part-way under a file-size limit, each leaving the user's files whole.

#include "app/save_engine.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/open_document.h"
#include "app/save_output.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/iso/volume_texts.h"
#include "image/sectors/raw_sectors.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

image::DocumentPtr Open(const std::string& path) {
    return image::DocumentPtr(app::OpenImageByPath(U(path), false, true, false));
}

struct Stat {
    ino_t inode = 0;
    off_t size = 0;
    time_t mtime = 0;
};
Stat StatOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {st.st_ino, st.st_size, st.st_mtime};
}

class SaveEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fixtures_ = new qvtest::TempDir;
        RunOk("cd " + ShellQuote(fixtures_->path()) +
              " && mkdir -p src/sub/deeper && echo hello > src/a.txt && head -c 1500000 /dev/urandom > src/sub/big.bin"
              " && echo leaf > src/sub/deeper/leaf.txt && touch -d 2020-01-02 src/a.txt"
              " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -R -V OLD -o t.iso src");
    }
    static void TearDownTestSuite() {
        delete fixtures_;
        fixtures_ = nullptr;
    }
    static std::string Fixture(const std::string& name) { return *fixtures_ / name; }

    // A copy of the fixture image in the test's folder.
    std::string CopyImage(const std::string& name) {
        RunOk("cp " + ShellQuote(Fixture("t.iso")) + " " + ShellQuote(dir_ / name));
        return dir_ / name;
    }
    std::string Listing() { return RunOk("ls -A " + ShellQuote(dir_.path())); }
    void ExpectSameTreeAsSource(const std::string& image) {
        const std::string out = dir_ / ("x-" + std::to_string(++extracted_));
        RunOk("7z x -bd -y -o" + ShellQuote(out) + " " + ShellQuote(image) + " >/dev/null");
        EXPECT_EQ(RunOk("diff -r " + ShellQuote(out) + " " + ShellQuote(Fixture("src"))), "");
        RunOk("rm -rf " + ShellQuote(out));
    }

    treetest::TreeDocument faces_;
    qvtest::TempDir dir_;
    int extracted_ = 0;
    static qvtest::TempDir* fixtures_;
};
qvtest::TempDir* SaveEngineTest::fixtures_ = nullptr;

TEST_F(SaveEngineTest, IsoSaveCheckedByPeers) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    doc->modified = 2;
    ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "out.iso"), -1, nullptr), 0);
    EXPECT_EQ(app::SaveResult(), 0);
    EXPECT_EQ(platform::Utf16ToUtf8(doc->documentPath), dir_ / "out.iso");
    const qvtest::CommandResult vfy = qvtest::Run("isovfy " + ShellQuote(dir_ / "out.iso"));
    EXPECT_EQ(vfy.exitCode, 0) << vfy.output;
    EXPECT_NE(vfy.output.find("No errors found"), std::string::npos) << vfy.output;
    EXPECT_NE(RunOk("isoinfo -d -i " + ShellQuote(dir_ / "out.iso")).find("Volume id: OLD"), std::string::npos);
    RunOk("7z t " + ShellQuote(dir_ / "out.iso") + " >/dev/null");
    ExpectSameTreeAsSource(dir_ / "out.iso");
    EXPECT_EQ(Listing(), "out.iso\n");
}

// The burn's build pass writes no file: the document reads through its
// composed image, whose sectors are those a save writes.
TEST_F(SaveEngineTest, BurnPreparationWritesNoFile) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    doc->modified = 2;
    ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "ref.iso"), -1, nullptr), 0);
    ASSERT_EQ(app::PrepareDocumentForBurn(*doc), 0);
    EXPECT_EQ(doc->composedRead, 1);
    EXPECT_EQ(int64_t(doc->sectorCount) * 2048, int64_t(StatOf(dir_ / "ref.iso").size));
    EXPECT_EQ(doc->nextSessionStart, doc->sectorCount);
    EXPECT_EQ(Listing(), "ref.iso\n");
}

// BIN: raw Mode 1 sectors with a CUE sheet, as bchunk reads them back.
TEST_F(SaveEngineTest, BinSaveReadBackByBchunk) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    doc->modified = 2;
    ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "out.bin"), -1, nullptr), 0);
    RunOk("cd " + ShellQuote(dir_.path()) + " && bchunk out.bin out.cue back >/dev/null");
    ExpectSameTreeAsSource(dir_ / "back01.iso");
}

// A save over the document's own file writes beside it and renames: a new
// file (new inode) under the name, nothing else left in the folder.
TEST_F(SaveEngineTest, SaveOverItsOwnFile) {
    const std::string path = CopyImage("own.iso");
    const Stat before = StatOf(path);
    auto doc = Open(path);
    ASSERT_TRUE(doc);
    doc->modified = 2;
    faces_.ui().QueueBoxAnswer(foundation::kIdYes);   // "The file already exists..."
    ASSERT_EQ(app::SaveDocument(*doc, U(path), -1, nullptr), 0);
    EXPECT_NE(StatOf(path).inode, before.inode);
    EXPECT_EQ(Listing(), "own.iso\n");
    ExpectSameTreeAsSource(path);
    // The document still reads its old data until it is opened again.
    EXPECT_EQ(app::SaveDocument(*doc, U(dir_ / "again.iso"), -1, nullptr), 0);
    ExpectSameTreeAsSource(dir_ / "again.iso");
}

// A refused overwrite question writes nothing.
TEST_F(SaveEngineTest, RefusedOverwriteWritesNothing) {
    const std::string path = CopyImage("keep.iso");
    const Stat before = StatOf(path);
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    faces_.ui().QueueBoxAnswer(foundation::kIdNo);
    EXPECT_EQ(app::SaveDocument(*doc, U(path), -1, nullptr), -1);
    EXPECT_EQ(StatOf(path).inode, before.inode);
    EXPECT_EQ(Listing(), "keep.iso\n");
}

// Formats without a writer are refused before anything is written; a name
// the format table does not know gets an ISO image.
TEST_F(SaveEngineTest, FormatsWithoutAWriterWriteNothing) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    const std::u16string original = doc->documentPath;
    for (const char* name : {"x.dmg", "x.mzp", "x.zip", "x.7z", "x.nrg", "x.mdf", "x.daa", "x.xdi", "x.isz"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(app::SaveDocument(*doc, U(dir_ / name), -1, nullptr), -1);
        EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
        EXPECT_EQ(doc->documentPath, original);
        EXPECT_EQ(Listing(), "");
    }
    ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "x.img"), -1, nullptr), 0);
    EXPECT_NE(RunOk("isoinfo -d -i " + ShellQuote(dir_ / "x.img")).find("Volume id: OLD"), std::string::npos);
}

// A label-only change is written into the file itself: same inode, same size,
// the new label in the primary descriptor (isoinfo) and in the Joliet one.
TEST_F(SaveEngineTest, LabelOnlySaveInPlace) {
    const std::string path = CopyImage("label.iso");
    const Stat before = StatOf(path);
    auto doc = Open(path);
    ASSERT_TRUE(doc);
    ASSERT_TRUE(app::CanUpdateInPlace(*doc));
    image::SetVolumeField(*doc, image::kVolumeLabel, u"NEWLABEL");
    ASSERT_EQ(app::UpdateImageInPlace(*doc, U(path)), 0);
    const Stat after = StatOf(path);
    EXPECT_EQ(after.inode, before.inode);
    EXPECT_EQ(after.size, before.size);
    EXPECT_NE(RunOk("isoinfo -d -i " + ShellQuote(path)).find("Volume id: NEWLABEL"), std::string::npos);
    EXPECT_NE(RunOk("isoinfo -d -J -i " + ShellQuote(path)).find("NEWLABEL"), std::string::npos);
    RunOk("isovfy " + ShellQuote(path) + " >/dev/null");
    ExpectSameTreeAsSource(path);
    // Opened again, the document shows the new label.
    auto again = Open(path);
    ASSERT_TRUE(again);
    EXPECT_EQ(image::GetVolumeField(*again, image::kVolumeLabel), u"NEWLABEL");
}

// The same for a raw image: the rewritten sectors carry their EDC and ECC.
TEST_F(SaveEngineTest, LabelOnlySaveInPlaceOfABin) {
    {
        auto doc = Open(Fixture("t.iso"));
        ASSERT_TRUE(doc);
        ASSERT_EQ(app::SaveDocument(*doc, U(dir_ / "l.bin"), -1, nullptr), 0);
    }
    const Stat before = StatOf(dir_ / "l.bin");
    auto doc = Open(dir_ / "l.cue");
    ASSERT_TRUE(doc);
    ASSERT_TRUE(app::CanUpdateInPlace(*doc));
    image::SetVolumeField(*doc, image::kVolumeLabel, u"RAWLABEL");
    ASSERT_EQ(app::UpdateImageInPlace(*doc, doc->imagePath), 0);
    EXPECT_EQ(StatOf(dir_ / "l.bin").inode, before.inode);
    EXPECT_EQ(StatOf(dir_ / "l.bin").size, before.size);
    RunOk("cd " + ShellQuote(dir_.path()) + " && bchunk l.bin l.cue back >/dev/null");
    EXPECT_NE(RunOk("isoinfo -d -i " + ShellQuote(dir_ / "back01.iso")).find("Volume id: RAWLABEL"), std::string::npos);
    const std::vector<uint8_t> raw = qvtest::ReadFileBytes(dir_ / "l.bin");
    for (int32_t sector : {doc->primaryDescriptorSector, doc->jolietDescriptorSector}) {
        ASSERT_GE(raw.size(), size_t(sector + 1) * 2352);
        EXPECT_EQ(image::CheckRawSector(raw.data() + size_t(sector) * 2352), image::RawSectorCheck::Ok) << sector;
    }
}

// A save that the file-size limit stops part-way, in a child process: the
// original file, its inode and its bytes stay; no temporary is left; the
// document keeps its path and its modified mark.
TEST_F(SaveEngineTest, FailedSaveLeavesTheOriginal) {
    const std::string path = CopyImage("limit.iso");
    const std::vector<uint8_t> original = qvtest::ReadFileBytes(path);
    const Stat before = StatOf(path);
    auto doc = Open(path);
    ASSERT_TRUE(doc);
    doc->modified = 2;
    const std::u16string documentPath = doc->documentPath;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{256 * 1024, 256 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        foundation::OverwriteAll = true;
        const int result = app::SaveDocument(*doc, U(path), -1, nullptr);
        const bool kept = doc->modified == 2 && doc->documentPath == documentPath;
        ::_exit(result == -1 && kept && foundation::OperationStatus.load() != 0 ? 10 : 20);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 10);
    EXPECT_EQ(StatOf(path).inode, before.inode);
    EXPECT_EQ(qvtest::ReadFileBytes(path), original);
    EXPECT_EQ(Listing(), "limit.iso\n");
}

// Volumes: a writer that writes three volumes through the output set. On
// failure every volume it wrote goes and files already there keep their
// bytes; on success all three are there; a volume that is the document's own
// file (here through a second name) is refused.
int g_volumeFailAfter = -1;
int VolumeWriter(app::SaveRequest& request) {
    for (int i = 1; i <= 3; ++i) {
        if (i == g_volumeFailAfter + 1) {
            foundation::OperationStatus = foundation::kStatusWriteFailed;
            return -1;
        }
        const std::u16string name = request.path + platform::Utf8ToUtf16(".00" + std::to_string(i));
        platform::FileHandle file = request.output.OpenVolume(name);
        if (!file) return -1;
        platform::FileWriteAt(file, 0, "volume", 6);
    }
    return 1;
}

TEST_F(SaveEngineTest, VolumesAreAllOrNothing) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    doc->splitOutput = 1;
    doc->volumeSize = app::kMinVolumeBytes;
    const app::DocumentWriter before = app::SetDocumentWriter(image::format_code::kMzp, VolumeWriter);
    qvtest::WriteFileText(dir_ / "set.mzp.002", "old");
    foundation::OverwriteAll = true;

    g_volumeFailAfter = 2;
    EXPECT_EQ(app::SaveDocument(*doc, U(dir_ / "set.mzp"), -1, nullptr), -1);
    EXPECT_EQ(Listing(), "set.mzp.002\n");
    EXPECT_EQ(qvtest::ReadFileBytes(dir_ / "set.mzp.002"), std::vector<uint8_t>({'o', 'l', 'd'}));

    g_volumeFailAfter = -1;
    EXPECT_EQ(app::SaveDocument(*doc, U(dir_ / "set.mzp"), -1, nullptr), 0);
    EXPECT_EQ(Listing(), "set.mzp.001\nset.mzp.002\nset.mzp.003\n");

    // Split targets that are the document's own file, by another name.
    const std::string path = CopyImage("own.iso");
    auto own = Open(path);
    ASSERT_TRUE(own);
    own->splitOutput = 1;
    own->volumeSize = app::kMinVolumeBytes;
    RunOk("ln " + ShellQuote(path) + " " + ShellQuote(dir_ / "alias.mzp"));
    EXPECT_EQ(app::SaveDocument(*own, U(dir_ / "alias.mzp"), -1, nullptr), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
    foundation::OverwriteAll = false;
    app::SetDocumentWriter(image::format_code::kMzp, before);
}

// Volume sizes that cannot work are refused before anything is written.
TEST_F(SaveEngineTest, UnworkableVolumeSizesAreRefused) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    doc->splitOutput = 1;
    for (int64_t size : {int64_t(0), int64_t(-5), int64_t(4096)}) {
        doc->volumeSize = size;
        app::SaveTarget target;
        EXPECT_EQ(app::PrepareSaveTarget(*doc, U(dir_ / "v.mzp"), -1, target), -1) << size;
    }
    // More than 999 volumes: 3 GiB of data in 1 MiB volumes.
    treetest::AddFile(doc->rootFolder, u"huge.bin", int64_t(3) << 30);
    doc->volumeSize = app::kMinVolumeBytes;
    app::SaveTarget refused;
    EXPECT_EQ(app::PrepareSaveTarget(*doc, U(dir_ / "v.mzp"), -1, refused), -1);
    // A hundred volumes and more take three-digit part numbers.
    doc->volumeSize = int64_t(20) << 20;
    app::SaveTarget many;
    EXPECT_EQ(app::PrepareSaveTarget(*doc, U(dir_ / "v.mzp"), -1, many), image::format_code::kMzp);
    EXPECT_EQ(many.volumeNamingStyle, 1);
    EXPECT_EQ(doc->volumeNamingStyle, 1);
    EXPECT_EQ(platform::Utf16ToUtf8(many.firstVolume), dir_ / "v.part001.mzp");
    image::DeleteItem(doc.get(), image::FindChildByName(doc->rootFolder, u"huge.bin"));
    doc->volumeSize = app::kMinVolumeBytes;
    app::SaveTarget target;
    EXPECT_EQ(app::PrepareSaveTarget(*doc, U(dir_ / "v.xdi"), -1, target), image::format_code::kXdi);
    EXPECT_EQ(platform::Utf16ToUtf8(target.path), dir_ / "v.part01.xdi");
    EXPECT_EQ(target.volumeNamingStyle, 0);
    EXPECT_EQ(doc->volumeNamingStyle, 0);
    app::SaveTarget mzp;
    EXPECT_EQ(app::PrepareSaveTarget(*doc, U(dir_ / "v"), -1, mzp), image::format_code::kMzp);
    EXPECT_EQ(platform::Utf16ToUtf8(mzp.firstVolume), dir_ / "v.part01.mzp");
    EXPECT_EQ(Listing(), "");
}

}  // namespace
