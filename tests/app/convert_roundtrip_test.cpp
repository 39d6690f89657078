// Conversion reads every item through one reader of item data: one tree put
// into each kind of source by its own tool (a UDF bridge disc, an HFS volume
// bare and in a DMG, ext2, FAT and NTFS volumes, a WIM and a ZIP archive), saved in every format
// the save engine writes, and every file of every output compared with the
// tree, as our extractor reads it back and, where Debian has one, as a peer
// reads it.

#include <gtest/gtest.h>

#include <string>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "app/save_engine.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/filesystems/hfs/hfs_fixtures.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

struct Source {
    const char* name;
    const char* file;
    const char* make;   // run in the fixture folder, the tree in src
};

// An HFS volume: hcopy -r copies bytes as they are; hfsutils keeps its
// current volume in $HOME.
constexpr const char* kHfsRecipe =
    "dd if=/dev/zero of=hfs.img bs=1k count=4096 2>/dev/null && hformat -l Vol hfs.img >/dev/null"
    " && hmount hfs.img >/dev/null && hmkdir :sub && hcopy -r src/tiny src/text src/empty : "
    " && hcopy -r src/sub/rnd :sub: && humount >/dev/null";

// A 300 KB file spans several of every reader's runs, chunks and extents; a
// text file several clusters; an empty file has no data at all.
constexpr const char* kTreeRecipe =
    "mkdir -p src/sub && echo tiny > src/tiny && head -c 300000 /dev/urandom > src/sub/rnd"
    " && seq 1 40000 > src/text && : > src/empty";

const Source kSources[] = {
    {"UDF bridge", "bridge.iso", "genisoimage -quiet -udf -J -R -o bridge.iso src 2>/dev/null"},
    {"HFS", "hfs.img", "{hfs}"},
    // Debian has no tool that makes a DMG: the fixture writer of the DMG
    // reader's tests wraps the volume in zlib chunks, and dmg2img must give
    // the volume back.
    {"DMG holding HFS", "hfs.dmg",
     "{hfs} && python3 {fixtures} dmg hfs.img hfs.dmg zlib 64 1"
     " && dmg2img -i hfs.dmg -o back.img >/dev/null && cmp back.img hfs.img && rm back.img"},
    // The boot block is signed so that the disk opener takes the volume as a whole disk.
    {"ext2", "ext2.img",
     "mke2fs -q -t ext2 -b 1024 -d src ext2.img 4M && printf '\\125\\252' | dd of=ext2.img bs=1 seek=510 "
     "conv=notrunc 2>/dev/null"},
    {"FAT", "fat.img", "mkfs.fat -C -F 16 fat.img 16384 >/dev/null && MTOOLS_SKIP_CHECK=1 mcopy -s -i fat.img src/* ::/"},
    {"NTFS", "ntfs.img",
     "wimlib-imagex capture src n.wim >/dev/null && truncate -s 8M ntfs.img && mkntfs -q -F -Q ntfs.img"
     " && wimlib-imagex apply n.wim 1 ntfs.img >/dev/null"},
    {"WIM", "w.wim", "wimlib-imagex capture src w.wim --compress=LZX >/dev/null"},
    {"ZIP", "z.zip", "cd src && zip -qrX ../z.zip . && cd .."},
};

enum class Peer { None, SevenZip, Bchunk };

struct Output {
    const char* extension;
    Peer peer;
};

// DAA, XDI and MZP have no reader among Debian's tools: ours alone reads them.
const Output kOutputs[] = {
    {"iso", Peer::SevenZip}, {"bin", Peer::Bchunk}, {"daa", Peer::None}, {"xdi", Peer::None},
    {"mzp", Peer::None},     {"zip", Peer::SevenZip}, {"7z", Peer::SevenZip},
};

class ConvertRoundTrip : public ::testing::Test {
protected:
    void SetUp() override { app::InstallReaders(); }
    void TearDown() override { app::UninstallReaders(); }

    // Every file of `dir` equal to the tree's, and nothing else there; file
    // systems' own folders (lost+found, $RECYCLE.BIN...) are not the tree's.
    std::string Compare(const std::string& dir) {
        return qvtest::Run("diff -r -x lost+found -x '$*' " + ShellQuote(dir) + " " + ShellQuote(dir_ / "src"))
            .output;
    }

    treetest::TreeDocument faces_;
    hfstest::MacFilesShown macFiles_;
    qvtest::TempDir dir_;
};

TEST_F(ConvertRoundTrip, EverySourceToEveryFormat) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && " + kTreeRecipe);
    for (const Source& source : kSources) {
        SCOPED_TRACE(source.name);
        std::string make = source.make;
        if (const size_t at = make.find("{hfs}"); at != std::string::npos) make.replace(at, 5, kHfsRecipe);
        if (const size_t at = make.find("{fixtures}"); at != std::string::npos)
            make.replace(at, 10, ShellQuote(std::string(QV_TEST_SOURCE_DIR) + "/tests/containers/chunk_fixtures.py"));
        hfstest::Hfs(dir_, make);
        const std::string input = dir_ / source.file;
        for (const Output& output : kOutputs) {
            SCOPED_TRACE(output.extension);
            const std::string work = dir_ / (std::string(source.file) + "-" + output.extension);
            RunOk("mkdir " + ShellQuote(work));
            const std::string out = work + "/out." + output.extension;
            {
                image::DocumentPtr doc(app::OpenImageByPath(U(input), false, true, false));
                ASSERT_TRUE(doc);
                doc->modified = 2;
                ASSERT_EQ(app::SaveDocument(*doc, U(out), -1, nullptr), 0) << foundation::OperationStatus.load();
            }
            {
                image::DocumentPtr back(app::OpenImageByPath(U(out), false, true, false));
                ASSERT_TRUE(back);
                app::ExtractRequest request;
                request.destination = U(work + "/ours");
                request.allFiles = true;
                EXPECT_EQ(app::ExtractItems(back.get(), back->rootFolder, {}, request, nullptr), 1);
            }
            EXPECT_EQ(Compare(work + "/ours"), "");
            switch (output.peer) {
                case Peer::SevenZip:
                    RunOk("7z x -bd -y -o" + ShellQuote(work + "/peer") + " " + ShellQuote(out) + " >/dev/null");
                    EXPECT_EQ(Compare(work + "/peer"), "");
                    break;
                case Peer::Bchunk:
                    RunOk("cd " + ShellQuote(work) + " && bchunk out.bin out.cue back >/dev/null && 7z x -bd -y -opeer "
                          "back01.iso >/dev/null");
                    EXPECT_EQ(Compare(work + "/peer"), "");
                    break;
                case Peer::None:
                    break;
            }
            RunOk("rm -rf " + ShellQuote(work));
        }
    }
}

}  // namespace
