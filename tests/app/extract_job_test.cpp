// The extraction job against images made by real tools: whole trees compared
// with what xorriso and 7z extract from the same image, a file whose extents
// lie out of order, hostile names and planted links, the overwrite answers,
// and failures that must leave an existing file as it was.

#include "app/extract_job.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/open_document.h"
#include "app/other_openers.h"
#include "app/transfer_render.h"
#include "foundation/work_folder.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_bytes.h"
#include "image/document/item_tree.h"
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

// Everything of the document below its root, into dest: the "All files" answer.
int ExtractAll(image::ImageContext& doc, const std::string& dest, app::ExtractOptions options = {},
               foundation::ProgressCallbacks* progress = nullptr) {
    app::ExtractRequest request;
    request.destination = U(dest);
    request.allFiles = true;
    request.options = options;
    return app::ExtractItems(&doc, doc.rootFolder, {}, request, progress);
}

image::ImageItem* Child(image::ImageContext& doc, const std::u16string& path) {
    return image::FindItemByPath(&doc, doc.rootFolder, path);
}

int ExtractOne(image::ImageContext& doc, image::ImageItem* item, const std::string& dest,
               app::ExtractOptions options = {}) {
    app::CExtractJob job(&doc, U(dest), item->parent);
    job.options = options;
    if (image::IsFolderItem(item)) job.AddFolder(item);
    else job.AddFile(item);
    return job.Run(nullptr);
}

std::string ReadText(const std::string& path) {
    std::vector<uint8_t> bytes = qvtest::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class ExtractJobTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fixtures_ = new qvtest::TempDir;
        const qvtest::TempDir& d = *fixtures_;
        // Sizes around the sector and chunk edges, an empty file and folder,
        // names with spaces and beyond ASCII, and a deep path.
        RunOk("cd " + ShellQuote(d.path()) +
              " && mkdir -p src/empty 'src/with space/deep/er/still' src/ünï"
              " && : > src/zero.bin && head -c 2048 /dev/urandom > src/one.sec"
              " && head -c 2049 /dev/urandom > 'src/with space/two.sec'"
              " && head -c 3145733 /dev/urandom > 'src/with space/deep/big.bin'"
              " && echo deep > 'src/with space/deep/er/still/leaf.txt' && echo é > src/ünï/naïve.txt"
              " && for i in $(seq 1 40); do echo $i > src/empty/../f$i.txt; done"
              " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -R -V T -o t.iso src");
    }
    static void TearDownTestSuite() {
        delete fixtures_;
        fixtures_ = nullptr;
    }
    static std::string Fixture(const std::string& name) { return *fixtures_ / name; }

    treetest::TreeDocument faces_;   // scripted prompts and boxes
    qvtest::TempDir dir_;
    static qvtest::TempDir* fixtures_;
};
qvtest::TempDir* ExtractJobTest::fixtures_ = nullptr;

TEST_F(ExtractJobTest, WholeTreeMatchesXorrisoAnd7z) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    int64_t reported = 0, total = -1;
    foundation::ProgressCallbacks progress;
    progress.SetTotal = [&](int64_t t) { total = t; };
    progress.AddDone = [&](int64_t n) { reported += n; };
    ASSERT_EQ(ExtractAll(*doc, dir_ / "ours", {}, &progress), 1);
    EXPECT_EQ(reported, total);
    RunOk("xorriso -osirrox on -indev " + ShellQuote(Fixture("t.iso")) + " -extract / " + ShellQuote(dir_ / "xorriso") +
          " >/dev/null 2>&1");
    RunOk("7z x -bd -y -o" + ShellQuote(dir_ / "7z") + " " + ShellQuote(Fixture("t.iso")) + " >/dev/null");
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "ours") + " " + ShellQuote(dir_ / "xorriso")), "");
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "ours") + " " + ShellQuote(dir_ / "7z")), "");
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "ours") + " " + ShellQuote(Fixture("src"))), "");
    // File times come from the records.
    struct stat st {};
    ASSERT_EQ(::stat((dir_ / "ours/one.sec").c_str(), &st), 0);
    EXPECT_EQ(std::to_string(st.st_mtime) + "\n", RunOk("stat -c %Y " + ShellQuote(dir_ / "xorriso/one.sec")));
}

// A BIN/CUE image reads through its raw sectors, not the plain copy.
TEST_F(ExtractJobTest, BinCueImageMatchesTheSource) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && python3 -c " +
          ShellQuote("import sys\n"
                     "d=open(sys.argv[1],'rb').read()\n"
                     "o=open('t.bin','wb')\n"
                     "for i in range(len(d)//2048):\n"
                     "  o.write(b'\\x00'+b'\\xff'*10+b'\\x00'+bytes(3)+b'\\x01'+d[i*2048:(i+1)*2048]+bytes(288))\n") +
          " " + ShellQuote(Fixture("t.iso")));
    qvtest::WriteFileText(dir_ / "t.cue", "FILE \"t.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
    auto doc = Open(dir_ / "t.cue");
    ASSERT_TRUE(doc);
    ASSERT_EQ(ExtractAll(*doc, dir_ / "ours"), 1);
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "ours") + " " + ShellQuote(Fixture("src"))), "");
}

// A file stored as two extents in the reverse order of their sectors: the
// data follow the records, as 7z reads them too.
TEST_F(ExtractJobTest, MultiExtentFileFollowsItsRecords) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir s && head -c 8192 /dev/urandom > s/big.bin && echo x > s/z.txt"
          " && xorriso -as mkisofs -quiet -o m.iso s");
    // Rewrite BIG.BIN's one record as two: the second half first (flag 0x80),
    // then the first half.
    RunOk("cd " + ShellQuote(dir_.path()) + " && python3 -c " +
          ShellQuote("import struct\n"
                     "d=bytearray(open('m.iso','rb').read())\n"
                     "root=struct.unpack_from('<I',d,16*2048+156+2)[0]*2048\n"
                     "recs=[];p=root\n"
                     "while d[p]:\n"
                     "  recs.append(bytes(d[p:p+d[p]]));p+=d[p]\n"
                     "out=b''\n"
                     "for r in recs:\n"
                     "  if r[33:33+r[32]]==b'BIG.BIN;1':\n"
                     "    e=struct.unpack_from('<I',r,2)[0]\n"
                     "    for (x,fl) in ((e+2,0x80),(e,0)):\n"
                     "      n=bytearray(r);struct.pack_into('<I',n,2,x);struct.pack_into('>I',n,6,x)\n"
                     "      struct.pack_into('<I',n,10,4096);struct.pack_into('>I',n,14,4096);n[25]=fl\n"
                     "      out+=bytes(n)\n"
                     "  else: out+=r\n"
                     "d[root:root+2048]=out+bytes(2048-len(out))\n"
                     "open('m.iso','wb').write(d)\n"));
    auto doc = Open(dir_ / "m.iso");
    ASSERT_TRUE(doc);
    ASSERT_EQ(ExtractAll(*doc, dir_ / "ours"), 1);
    std::vector<uint8_t> src = qvtest::ReadFileBytes(dir_ / "s/big.bin");
    std::vector<uint8_t> expected(src.begin() + 4096, src.end());
    expected.insert(expected.end(), src.begin(), src.begin() + 4096);
    std::vector<uint8_t> ours = qvtest::ReadFileBytes(dir_ / "ours/BIG.BIN");
    EXPECT_EQ(ours, expected);
    // The peers agree (they show plain ISO 9660 names in lower case).
    RunOk("7z x -bd -y -o" + ShellQuote(dir_ / "7z") + " " + ShellQuote(dir_ / "m.iso") + " >/dev/null");
    RunOk("xorriso -osirrox on -indev " + ShellQuote(dir_ / "m.iso") + " -extract / " + ShellQuote(dir_ / "xorriso") +
          " >/dev/null 2>&1");
    EXPECT_EQ(RunOk("cmp " + ShellQuote(dir_ / "ours/BIG.BIN") + " " + ShellQuote(dir_ / "7z/big.bin")), "");
    EXPECT_EQ(RunOk("cmp " + ShellQuote(dir_ / "ours/BIG.BIN") + " " + ShellQuote(dir_ / "xorriso/big.bin")), "");
}

// A Joliet name patched to "../x" (7z lists it so) stays inside the folder.
TEST_F(ExtractJobTest, JolietDotDotNameStaysInside) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir s && echo secret > s/AAAA && xorriso -as mkisofs -quiet -J -o h.iso s"
          " && python3 -c " +
          ShellQuote("d=open('h.iso','rb').read()\n"
                     "a='AAAA'.encode('utf-16-be');b='../x'.encode('utf-16-be')\n"
                     "assert a in d\n"
                     "open('h.iso','wb').write(d.replace(a,b))\n"));
    EXPECT_NE(RunOk("7z l " + ShellQuote(dir_ / "h.iso")).find("../x"), std::string::npos);
    auto doc = Open(dir_ / "h.iso");
    ASSERT_TRUE(doc);
    RunOk("mkdir -p " + ShellQuote(dir_ / "box/dest"));
    ASSERT_EQ(ExtractAll(*doc, dir_ / "box/dest"), 1);
    EXPECT_EQ(RunOk("cd " + ShellQuote(dir_ / "box") + " && find . | sort"), ".\n./dest\n./dest/.._x\n");
    EXPECT_EQ(ReadText(dir_ / "box/dest/.._x"), "secret\n");
}

// Links planted in the destination: a folder link is not entered; a file
// link is replaced by the file (on Yes) or left (on No), never written through.
TEST_F(ExtractJobTest, PlantedLinksAreNeverFollowed) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    const std::string dest = dir_ / "dest";
    RunOk("mkdir -p " + ShellQuote(dest) + " " + ShellQuote(dir_ / "outside") + " && echo keep > " +
          ShellQuote(dir_ / "outside/one.sec") + " && ln -s " + ShellQuote(dir_ / "outside") + " " +
          ShellQuote(dest + "/with space") + " && ln -s " + ShellQuote(dir_ / "outside/one.sec") + " " +
          ShellQuote(dest + "/one.sec"));

    faces_.prompts().PushAnswer(1);   // No: the link at one.sec stays
    EXPECT_EQ(ExtractOne(*doc, Child(*doc, u"/one.sec"), dest), 1);
    EXPECT_EQ(RunOk("readlink " + ShellQuote(dest + "/one.sec")), dir_ / "outside/one.sec\n");

    faces_.prompts().PushAnswer(0);   // Yes: the link goes, the file comes
    EXPECT_EQ(ExtractOne(*doc, Child(*doc, u"/one.sec"), dest), 1);
    EXPECT_EQ(RunOk("cmp " + ShellQuote(dest + "/one.sec") + " " + ShellQuote(Fixture("src/one.sec"))), "");

    EXPECT_EQ(ExtractOne(*doc, Child(*doc, u"/with space"), dest), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCannotCreate);
    EXPECT_EQ(ReadText(dir_ / "outside/one.sec"), "keep\n");
    EXPECT_EQ(RunOk("ls -A " + ShellQuote(dir_ / "outside")), "one.sec\n");
}

// The overwrite answers, one row each: the content afterwards, the result and
// whether a question was asked.
TEST_F(ExtractJobTest, OverwriteAnswers) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    struct Row {
        const char* name;
        int answer;          // -1: none queued
        bool withoutAsking;
        bool replaced;
        int result;
        size_t questions;
    };
    const Row rows[] = {
        {"yes", 0, false, true, 1, 1},    {"no", 1, false, false, 1, 1},
        {"yes to all", 2, false, true, 1, 1}, {"no to all", 3, false, false, 1, 1},
        {"cancel", 4, false, false, 0, 1}, {"overwrite without asking", -1, true, true, 1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::TempDir dest;
        qvtest::WriteFileText(dest / "one.sec", "old");
        const ino_t before = Inode(dest / "one.sec");
        const size_t shownBefore = faces_.prompts().Shown().size();
        if (row.answer >= 0) faces_.prompts().PushAnswer(row.answer);
        app::ExtractOptions options;
        options.overwriteWithoutAsking = row.withoutAsking;
        EXPECT_EQ(ExtractOne(*doc, Child(*doc, u"/one.sec"), dest.path(), options), row.result);
        EXPECT_EQ(faces_.prompts().Shown().size() - shownBefore, row.questions);
        if (row.replaced) {
            EXPECT_EQ(RunOk("cmp " + ShellQuote(dest / "one.sec") + " " + ShellQuote(Fixture("src/one.sec"))), "");
            EXPECT_NE(Inode(dest / "one.sec"), before);   // a new file renamed over the old
        } else {
            EXPECT_EQ(ReadText(dest / "one.sec"), "old");
        }
        EXPECT_EQ(RunOk("ls -A " + ShellQuote(dest.path())), "one.sec\n");   // no temporary left
    }
}

// A reader that fails part-way, and a cancel part-way: the old file stays as
// it was, and a new file is not left half-written.
int FailingReader(image::ImageContext&, const image::ImageItem&, platform::FileHandle out,
                  foundation::ProgressCallbacks*) {
    platform::FileWriteAt(out, 0, "half", 4);
    foundation::OperationStatus = foundation::kStatusSourceReadFailed;
    return -1;
}
int CancelledReader(image::ImageContext&, const image::ImageItem&, platform::FileHandle out,
                    foundation::ProgressCallbacks*) {
    platform::FileWriteAt(out, 0, "half", 4);
    return 0;
}

TEST_F(ExtractJobTest, FailedOrCancelledFileLeavesTheOldOne) {
    treetest::TreeDocument& doc = faces_;
    image::ImageItem* item = treetest::AddFile(doc.root(), u"f.txt", 100, 30);
    doc.ctx()->fatState.Attach(reinterpret_cast<image::FatState*>(new int(0)),
                               [](image::FatState* p) { delete reinterpret_cast<int*>(p); });
    for (auto reader : {FailingReader, CancelledReader}) {
        const image::ItemReaderEntry before = image::SetItemReader(image::ItemReaderKind::Fat, {nullptr, reader});
        qvtest::TempDir dest;
        qvtest::WriteFileText(dest / "f.txt", "old");
        faces_.prompts().PushAnswer(0);
        EXPECT_NE(ExtractOne(*doc.ctx(), item, dest.path()), 1);
        EXPECT_EQ(ReadText(dest / "f.txt"), "old");
        EXPECT_EQ(RunOk("ls -A " + ShellQuote(dest.path())), "f.txt\n");
        // A new file is removed.
        qvtest::TempDir fresh;
        EXPECT_NE(ExtractOne(*doc.ctx(), item, fresh.path()), 1);
        EXPECT_EQ(RunOk("ls -A " + ShellQuote(fresh.path())), "");
        image::SetItemReader(image::ItemReaderKind::Fat, before);
    }
    // No reader installed for the kind: "not supported", nothing written.
    qvtest::TempDir none;
    EXPECT_EQ(ExtractOne(*doc.ctx(), item, none.path()), -1);
    EXPECT_EQ(RunOk("ls -A " + ShellQuote(none.path())), "");
    doc.ctx()->fatState.Reset();
}

// An item added from disk, extracted over the very file it came from: nothing
// to do, no question, success.
TEST_F(ExtractJobTest, ItemOverItsOwnSourceFile) {
    treetest::TreeDocument& doc = faces_;
    qvtest::WriteFileText(dir_ / "source.txt", "mine");
    image::ImageItem* item = treetest::AddFile(doc.root(), u"source.txt", 4);
    item->diskPath = U(dir_ / "source.txt");
    const ino_t before = Inode(dir_ / "source.txt");
    const size_t asked = faces_.prompts().Shown().size();
    EXPECT_EQ(ExtractOne(*doc.ctx(), item, dir_.path()), 1);
    EXPECT_EQ(faces_.prompts().Shown().size(), asked);
    EXPECT_EQ(Inode(dir_ / "source.txt"), before);
    EXPECT_EQ(ReadText(dir_ / "source.txt"), "mine");
    // Elsewhere it is copied from its source.
    qvtest::TempDir other;
    EXPECT_EQ(ExtractOne(*doc.ctx(), item, other.path()), 1);
    EXPECT_EQ(ReadText(other / "source.txt"), "mine");
}

// Extracting an image's file into the folder of the image, where a file of
// that name is the image itself, is refused and the image kept.
TEST_F(ExtractJobTest, TheDocumentsOwnFileIsNeverReplaced) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir s && echo inner > s/x.iso && xorriso -as mkisofs -quiet -J -o x.iso s");
    const std::vector<uint8_t> image = qvtest::ReadFileBytes(dir_ / "x.iso");
    auto doc = Open(dir_ / "x.iso");
    ASSERT_TRUE(doc);
    faces_.prompts().PushAnswer(0);
    EXPECT_EQ(ExtractOne(*doc, Child(*doc, u"/x.iso"), dir_.path()), -1);
    EXPECT_EQ(qvtest::ReadFileBytes(dir_ / "x.iso"), image);
}

// Damaged input: a size past the image's end, and a tree nested 3,000
// levels deep, each end with a clear result and nothing half-written.
TEST_F(ExtractJobTest, BadInputEndsCleanly) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir s && head -c 5000 /dev/urandom > s/a.bin && xorriso -as mkisofs -quiet -o e.iso s");
    RunOk("cd " + ShellQuote(dir_.path()) + " && python3 -c " +
          ShellQuote("import struct\n"
                     "d=bytearray(open('e.iso','rb').read())\n"
                     "root=struct.unpack_from('<I',d,16*2048+156+2)[0]*2048\n"
                     "p=root\n"
                     "while d[p]:\n"
                     "  if d[p+33:p+33+d[p+32]]==b'A.BIN;1':\n"
                     "    struct.pack_into('<I',d,p+10,50000000);struct.pack_into('>I',d,p+14,50000000)\n"
                     "  p+=d[p]\n"
                     "open('e.iso','wb').write(d)\n"));
    auto doc = Open(dir_ / "e.iso");
    ASSERT_TRUE(doc);
    EXPECT_EQ(ExtractAll(*doc, dir_ / "out"), -1);
    EXPECT_NE(foundation::OperationStatus.load(), foundation::kStatusNone);
    EXPECT_EQ(RunOk("ls -A " + ShellQuote(dir_ / "out")), "");

    treetest::TreeDocument& tree = faces_;
    image::ImageFolder* folder = tree.root();
    for (int i = 0; i < 3000; ++i) folder = treetest::AddFolder(folder, u"d");
    treetest::AddFile(folder, u"leaf", 0)->memoryData = {1};
    treetest::AddFile(tree.root(), u"top.txt", 3)->memoryData = {'a', 'b', 'c'};
    // A name of 300 UTF-8 bytes, more than Linux takes for one component.
    treetest::AddFile(tree.root(), std::u16string(150, u'\u00e9'), 1)->memoryData = {'x'};
    const size_t boxes = faces_.ui().Boxes().size();
    EXPECT_EQ(ExtractAll(*tree.ctx(), dir_ / "deep"), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCannotCreate);
    EXPECT_EQ(ReadText(dir_ / "deep/top.txt"), "abc");   // the rest was written
    EXPECT_EQ(RunOk("find " + ShellQuote(dir_ / "deep") + " -type f | wc -l"), "1\n");
    // One report for the whole job, with the count of the items skipped.
    ASSERT_EQ(faces_.ui().Boxes().size(), boxes + 1);
    const std::u16string text = faces_.ui().Boxes().back().request.text;
    EXPECT_EQ(text.substr(text.size() - 2), u" 2");   // the folder at the length limit, and the long name
}

// An NTFS volume made by mkntfs and filled by ntfscp: the file system's own
// extraction plugs into the job, and every file comes out as it went in.
TEST_F(ExtractJobTest, NtfsVolumeThroughItsReader) {
    RunOk("cd " + ShellQuote(dir_.path()) +
          " && mkdir src && echo tiny > src/tiny && head -c 300000 /dev/urandom > src/rnd && seq 1 40000 > src/text"
          " && : > src/empty && truncate -s 32M p.img && mkntfs -q -F -Q -L Vol p.img >/dev/null"
          " && for f in tiny rnd text empty; do ntfscp -q p.img src/$f $f; done");
    app::InstallReaders();
    auto doc = Open(dir_ / "p.img");
    ASSERT_TRUE(doc);
    app::ExtractRequest request;
    request.destination = U(dir_ / "out");
    std::vector<image::ImageItem*> items;
    for (const char16_t* name : {u"tiny", u"rnd", u"text", u"empty"}) items.push_back(Child(*doc, name));
    for (image::ImageItem* item : items) ASSERT_NE(item, nullptr);
    EXPECT_EQ(app::ExtractItems(doc.get(), doc->rootFolder, items, request, nullptr), 1);
    doc.reset();
    app::UninstallReaders();
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "out") + " " + ShellQuote(dir_ / "src")), "");
}

// A UDF image made by genisoimage: the tree and the data come from the UDF
// volume's reader, and the files match the source.
TEST_F(ExtractJobTest, UdfImageThroughItsReader) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && genisoimage -quiet -udf -J -o u.iso " + ShellQuote(Fixture("src")) +
          " 2>/dev/null");
    app::InstallReaders();
    auto doc = Open(dir_ / "u.iso");
    ASSERT_TRUE(doc);
    EXPECT_TRUE(bool(doc->udfState));
    const int result = ExtractAll(*doc, dir_ / "out");
    doc.reset();
    app::UninstallReaders();
    ASSERT_EQ(result, 1);
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "out") + " " + ShellQuote(Fixture("src"))), "");
}

// FAT and ext2 volumes and WIM archives extract through their own readers too: one
// fixture tree put into each by its own tool, and each extraction equal to it.
TEST_F(ExtractJobTest, FatExt2AndWimThroughTheirReaders) {
    struct Row {
        const char* name;
        const char* file;
        const char* make;   // run in the test folder, the tree in src
    };
    const Row rows[] = {
        // The boot block is signed so that the disk opener takes the volume as a whole disk.
        {"ext2", "e.img",
         "mke2fs -q -t ext2 -b 1024 -d src e.img 4M && printf '\\125\\252' | dd of=e.img bs=1 seek=510 "
         "conv=notrunc 2>/dev/null"},
        {"wim", "w.wim", "wimlib-imagex capture src w.wim --compress=LZX >/dev/null"},
        {"fat", "f.img", "mkfs.fat -C -F 16 f.img 16384 >/dev/null && MTOOLS_SKIP_CHECK=1 mcopy -s -i f.img src/* ::/"},
    };
    RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir src src/sub && echo tiny > src/tiny"
          " && head -c 300000 /dev/urandom > src/sub/rnd && seq 1 40000 > src/text && : > src/empty");
    app::InstallReaders();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunOk("cd " + ShellQuote(dir_.path()) + " && " + row.make);
        auto doc = Open(dir_ / row.file);
        ASSERT_TRUE(doc);
        const std::string out = dir_ / (std::string("out-") + row.name);
        EXPECT_EQ(ExtractAll(*doc, out), 1);
        EXPECT_EQ(RunOk("diff -r -x lost+found " + ShellQuote(out) + " " + ShellQuote(dir_ / "src")), "");
    }
    app::UninstallReaders();
}

// Cancel before the first byte: nothing is written and the result says so.
TEST_F(ExtractJobTest, CancelWritesNothing) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    foundation::ProgressCallbacks progress;
    progress.cancelEvent.Set();
    EXPECT_EQ(ExtractAll(*doc, dir_ / "out", {}, &progress), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    EXPECT_EQ(RunOk("find " + ShellQuote(dir_ / "out") + " -type f"), "");
}

}  // namespace

namespace {

// Items handed to another program land in the work folder under their names;
// asked for again, a folder's earlier copy is replaced whole and files are
// overwritten without a question.
TEST_F(ExtractJobTest, TransferRendersIntoTheWorkFolder) {
    auto doc = Open(Fixture("t.iso"));
    ASSERT_TRUE(doc);
    std::vector<image::ImageItem*> items{Child(*doc, u"with space"), Child(*doc, u"one.sec")};
    ASSERT_TRUE(items[0] && items[1]);
    std::vector<std::u16string> paths;
    ASSERT_EQ(app::RenderTransferFiles(doc.get(), doc->rootFolder, items, nullptr, paths), 0);
    ASSERT_EQ(paths.size(), 2u);
    const std::string work = platform::Utf16ToUtf8(foundation::GetTempWorkFolder());
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(platform::Utf16ToUtf8(paths[0]), work + "with space");
    EXPECT_EQ(platform::Utf16ToUtf8(paths[1]), work + "one.sec");
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(work + "with space") + " " + ShellQuote(Fixture("src/with space"))), "");
    EXPECT_EQ(RunOk("cmp " + ShellQuote(work + "one.sec") + " " + ShellQuote(Fixture("src/one.sec"))), "");

    qvtest::WriteFileText(work + "with space/stale.txt", "left from before");
    qvtest::WriteFileText(work + "one.sec", "old");
    ASSERT_EQ(app::RenderTransferFiles(doc.get(), doc->rootFolder, items, nullptr, paths), 0);
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(work + "with space") + " " + ShellQuote(Fixture("src/with space"))), "");
    EXPECT_EQ(RunOk("cmp " + ShellQuote(work + "one.sec") + " " + ShellQuote(Fixture("src/one.sec"))), "");

    // Nothing to take: no files, status 4.
    EXPECT_EQ(app::RenderTransferFiles(doc.get(), doc->rootFolder, {}, nullptr, paths), -1);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusSourceReadFailed);
    EXPECT_TRUE(paths.empty());
    foundation::DeleteTempWorkFolder();
}

}  // namespace
