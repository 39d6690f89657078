// Opening, listing and extracting archives that real tools made, compared with
// the source tree they were made from.

#include "tests/containers/archive/arc_fixture.h"

#include "containers/archive/arc_host.h"
#include "containers/archive/arc_link.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"

namespace containers::archive {
namespace {

using namespace arctest;

class ArcOpen : public ArchiveTest {};

TEST_F(ArcOpen, ArchivesOfRealToolsListAndExtractLikeTheirSource) {
    const std::string d = MakeSourceTree();
    const std::set<std::string> expected = DiskListing(d);
    // Each recipe runs in the scratch folder and makes the archive named.
    const struct {
        const char* name;
        const char* recipe;
        bool listsEmptyFolder;
    } rows[] = {
        {"a.zip", "7z a -tzip -bd a.zip ./d/* >/dev/null", true},
        {"a.7z", "7z a -bd a.7z ./d/* >/dev/null", true},
        {"solid.7z", "7z a -bd -ms=on -mx=9 solid.7z ./d/* >/dev/null", true},
        {"info.zip", "cd d && zip -qr ../info.zip .", true},
        // tar -C dir . lists "./a": no folder named "." may hide the items.
        {"t.tar", "tar -C d -cf t.tar .", true},
        {"t.tar.gz", "tar -C d -cf t.tar . && gzip -kn t.tar", true},
        {"t.tar.bz2", "tar -C d -cf t.tar . && bzip2 -k t.tar", true},
        {"t.tar.xz", "tar -C d -cf t.tar . && xz -k t.tar", true},
        {"t.tar.zst", "tar -C d -cf t.tar . && zstd -q t.tar", true},
        {"v.7z.001", "7z a -bd -v100k v.7z ./d/* >/dev/null", true},
        {"s.zip.001", "7z a -tzip -bd s.zip ./d/* >/dev/null && split -b 100000 -d -a 3 --numeric-suffixes=1 s.zip s.zip.",
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::RunOk("cd " + dir_.path() + " && rm -f t.tar* && " + row.recipe);
        int code = -1;
        image::DocumentPtr ctx(OpenArchiveAsImage(U(*this / row.name), false, 0, &code));
        ASSERT_TRUE(ctx) << "code " << code;
        EXPECT_EQ(ctx->formatCode, image::format_code::kArchive);
        std::set<std::string> want = expected;
        if (!row.listsEmptyFolder) want.erase("empty/");
        EXPECT_EQ(Listing(*ctx), want);
        // Every file's bytes equal the source's.
        for (const char* file : {"a.txt", "sub/b.bin", "sub/deep/c.txt"}) {
            image::ImageItem* item = image::FindItemByPath(ctx.get(), ctx->rootFolder, U(file));
            ASSERT_NE(item, nullptr) << file;
            std::vector<uint8_t> bytes;
            foundation::ResetOperationStatus();
            ASSERT_TRUE(ItemBytes(*ctx, *item, bytes, *this / "out.bin")) << file;
            EXPECT_EQ(bytes, qvtest::ReadFileBytes(d + "/" + file)) << file;
            // Ranges for readers that want them.
            if (std::string(file) == "sub/b.bin") {
                uint8_t chunk[5000];
                ASSERT_EQ(ReadArchiveItemData(*ctx, item->archiveIndex, chunk, 1000, sizeof chunk), 5000);
                EXPECT_TRUE(std::equal(chunk, chunk + 5000, bytes.begin() + 1000));
                EXPECT_EQ(ReadArchiveItemData(*ctx, item->archiveIndex, chunk, bytes.size() - 10, sizeof chunk), 10);
            }
        }
        image::ImageItem* a = image::FindItemByPath(ctx.get(), ctx->rootFolder, u"a.txt");
        ASSERT_NE(a, nullptr);
        // Times from the archive (tar and zip keep seconds or two).
        EXPECT_NEAR(double(a->time), 1704164645.0, 2.0);
    }
}

TEST_F(ArcOpen, TarOfACompressedStreamOpensThroughToTheTar) {
    MakeSourceTree();
    qvtest::RunOk("cd " + dir_.path() + " && tar -C d -cf t.tar . && gzip -kn t.tar && printf 'just text\\n' > n.txt"
                  " && gzip -kn n.txt");
    int code = -1;
    image::DocumentPtr tgz(OpenArchiveAsImage(U(*this / "t.tar.gz"), false, 0, &code));
    ASSERT_TRUE(tgz);
    EXPECT_TRUE(LinkOf(*tgz)->innerArchive);
    // A gzip holding no archive lists its one item, named without ".gz".
    image::DocumentPtr ngz(OpenArchiveAsImage(U(*this / "n.txt.gz"), false, 0, &code));
    ASSERT_TRUE(ngz);
    EXPECT_EQ(Listing(*ngz), (std::set<std::string>{"n.txt"}));
    image::ImageItem* item = image::FindItemByPath(ngz.get(), ngz->rootFolder, u"n.txt");
    ASSERT_NE(item, nullptr);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ItemBytes(*ngz, *item, bytes, *this / "out.bin"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "just text\n");
}

TEST_F(ArcOpen, FilesNoFormatTakesAreNotRecognised) {
    qvtest::RunOk("cd " + dir_.path() + " && printf 'plain words\\nmore words\\n' > t.txt && head -c 4096 /dev/urandom > r.bin"
                  " && python3 -c \"import zipfile; zipfile.ZipFile('empty.zip','w').close()\"");
    for (const char* name : {"t.txt", "r.bin"}) {
        SCOPED_TRACE(name);
        int code = -1;
        image::DocumentPtr ctx(OpenArchiveAsImage(U(*this / name), false, 0, &code));
        EXPECT_FALSE(ctx);
        EXPECT_EQ(code, image::open_result::kNotRecognised);
    }
    int code = -1;
    image::DocumentPtr empty(OpenArchiveAsImage(U(*this / "empty.zip"), false, 0, &code));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(Listing(*empty).empty());
}

TEST_F(ArcOpen, PasswordsRightWrongAndCancelled) {
    MakeSourceTree();
    qvtest::RunOk("cd " + dir_.path() + " && 7z a -bd -psecret -mhe=on h.7z ./d/* >/dev/null && 7z a -bd -tzip"
                  " -psecret p.zip ./d/a.txt >/dev/null");
    const struct {
        const char* name;
        const char* password;
        int code;
    } rows[] = {
        {"h.7z", "secret", 0},
        {"h.7z", "wrong", kOpenWrongPassword},
        {"h.7z", nullptr, image::open_result::kPasswordRequired},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " " + (row.password ? row.password : "(cancel)"));
        PasswordAnswer answer(row.password);
        ScopedAnswer dialogs{&answer};
        int code = -1;
        image::DocumentPtr ctx(OpenArchiveAsImage(U(*this / row.name), false, 0, &code));
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(bool(ctx), row.code == 0);
        EXPECT_EQ(answer.asked, 1);
        if (ctx) {
            EXPECT_EQ(Listing(*ctx), DiskListing(*this / "d"));
        }
    }
    // Zip: names are open, the data asks. Wrong password: data error, nothing
    // written as success; the item is not tried again.
    for (const char* password : {"secret", "wrong", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(password ? password : "(cancel)");
        PasswordAnswer answer(password);
        ScopedAnswer dialogs{&answer};
        int code = -1;
        image::DocumentPtr ctx(OpenArchiveAsImage(U(*this / "p.zip"), false, 0, &code));
        ASSERT_TRUE(ctx);
        EXPECT_EQ(answer.asked, 0);
        image::ImageItem* item = image::FindItemByPath(ctx.get(), ctx->rootFolder, u"a.txt");
        ASSERT_NE(item, nullptr);
        std::vector<uint8_t> bytes;
        foundation::ResetOperationStatus();
        const bool ok = ItemBytes(*ctx, *item, bytes, *this / "out.bin");
        if (password && std::string(password) == "secret") {
            EXPECT_TRUE(ok);
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "hello archive\n");
        } else if (password) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusSourceReadFailed);
            ASSERT_FALSE(answer.log.empty());
            EXPECT_NE(answer.log.back().find("Data error or wrong password!"), std::string::npos) << answer.log.back();
            foundation::ResetOperationStatus();
            EXPECT_FALSE(ItemBytes(*ctx, *item, bytes, *this / "out.bin"));
            EXPECT_EQ(answer.asked, 1);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
        }
    }
}

TEST_F(ArcOpen, HostileNamesStayInsideTheTree) {
    // Names a careless extractor would follow out of its folder.
    qvtest::WriteFileText(*this / "h.py",
                          "import zipfile\n"
                          "z = zipfile.ZipFile('h.zip', 'w')\n"
                          "for n in ['../x', '/abs', 'a\\\\..\\\\..\\\\b', 'C:/c', './d/./e', '..', 'f/../../g']:\n"
                          "    z.writestr(n, 'data of ' + n)\n"
                          "z.writestr('/'.join(['p'] * 30000) + '/deep', 'deep')\n"
                          "z.close()\n");
    qvtest::RunOk("cd " + dir_.path() + " && python3 h.py");
    PasswordAnswer log(nullptr);
    ScopedAnswer dialogs{&log};
    int code = -1;
    image::DocumentPtr ctx(OpenArchiveAsImage(U(*this / "h.zip"), false, 0, &code));
    ASSERT_TRUE(ctx);
    EXPECT_EQ(Listing(*ctx), (std::set<std::string>{"x", "abs", "a/", "a/b", "c", "d/", "d/e", "f/", "f/g"}));
    EXPECT_FALSE(log.log.empty());
    image::ImageItem* item = image::FindItemByPath(ctx.get(), ctx->rootFolder, u"x");
    ASSERT_NE(item, nullptr);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ItemBytes(*ctx, *item, bytes, *this / "out.bin"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "data of ../x");
}

TEST_F(ArcOpen, SolidArchiveInAnyOrderAndAfterACancel) {
    const std::string d = MakeSourceTree();
    qvtest::RunOk("cd " + dir_.path() + " && 7z a -bd -ms=on solid.7z ./d/* >/dev/null");
    int code = -1;
    image::DocumentPtr ctx(OpenArchiveAsImage(U(*this / "solid.7z"), false, 0, &code));
    ASSERT_TRUE(ctx);
    // A cancelled extraction ends at once and costs the item nothing.
    image::ImageItem* big = image::FindItemByPath(ctx.get(), ctx->rootFolder, u"sub/b.bin");
    ASSERT_NE(big, nullptr);
    foundation::ProgressCallbacks cancelled;
    cancelled.cancelEvent.Set();
    platform::FileHandle out = platform::FileOpen(U(*this / "c.bin"), platform::FileAccess::ReadWrite,
                                                  platform::FileDisposition::CreateAlways);
    ASSERT_NE(out, nullptr);
    foundation::ResetOperationStatus();
    EXPECT_EQ(ExtractArchiveItem(*ctx, *big, out, &cancelled), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    platform::FileClose(out);
    // Then every file, last first and again, equals its source.
    for (int round = 0; round < 2; ++round) {
        for (const char* file : {"sub/deep/c.txt", "sub/b.bin", "a.txt"}) {
            SCOPED_TRACE(file);
            image::ImageItem* item = image::FindItemByPath(ctx.get(), ctx->rootFolder, U(file));
            ASSERT_NE(item, nullptr);
            std::vector<uint8_t> bytes;
            foundation::ResetOperationStatus();
            ASSERT_TRUE(ItemBytes(*ctx, *item, bytes, *this / "out.bin"))
                << round << " status " << foundation::OperationStatus.load();
            EXPECT_EQ(bytes, qvtest::ReadFileBytes(d + "/" + file));
        }
    }
}

TEST_F(ArcOpen, MissingAndTruncatedVolumesFailCleanly) {
    MakeSourceTree();
    qvtest::RunOk("cd " + dir_.path() + " && 7z a -bd -tzip -v100k v.zip ./d/* >/dev/null && rm v.zip.002"
                  " && 7z a -bd -v100k w.7z ./d/* >/dev/null && truncate -s 5000 w.7z.002");
    for (const char* name : {"v.zip.001", "w.7z.001"}) {
        SCOPED_TRACE(name);
        int code = -1;
        image::DocumentPtr ctx(OpenArchiveAsImage(U(*this / name), false, 0, &code));
        if (!ctx) {
            EXPECT_EQ(code, image::open_result::kNotRecognised);
            continue;
        }
        image::ImageItem* item = image::FindItemByPath(ctx.get(), ctx->rootFolder, u"sub/b.bin");
        if (!item) continue;
        std::vector<uint8_t> bytes;
        foundation::ResetOperationStatus();
        EXPECT_FALSE(ItemBytes(*ctx, *item, bytes, *this / "out.bin"));
        EXPECT_NE(foundation::OperationStatus.load(), foundation::kStatusNone);
    }
    foundation::ResetOperationStatus();
}

TEST_F(ArcOpen, RarFirstVolumeNamedLikeAnotherFormatOpensAsRar) {
    // RAR 4 marker, then a main header with the volume and first-volume flags
    // (0x0101); nothing else is needed for the order.
    CArcCodecHost* host = ArchiveHost(0);
    ASSERT_NE(host, nullptr);
    std::vector<uint8_t> head = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73, 0x01, 0x01,
                                 0x0D, 0x00, 0, 0, 0, 0, 0, 0};
    const std::vector<int32_t> order = OrderFormats(*host, u"a.zip.001", head);
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(order.front(), FindFormatByName(*host, u"rar"));
    // Not a volume: the order stays with the extension's format.
    head[10] = 0;
    const std::vector<int32_t> plain = OrderFormats(*host, u"a.zip.001", head);
    EXPECT_NE(plain.front(), FindFormatByName(*host, u"rar"));
    // A format without a signature is tried only when the extension names it.
    const int32_t base64 = FindFormatByName(*host, u"Base64");
    if (base64 >= 0) {
        const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
        const std::vector<int32_t> forText = OrderFormats(*host, u"t.txt", text);
        EXPECT_EQ(std::find(forText.begin(), forText.end(), base64), forText.end());
        const std::vector<int32_t> forB64 = OrderFormats(*host, u"t.b64", text);
        EXPECT_NE(std::find(forB64.begin(), forB64.end(), base64), forB64.end());
    }
}

}  // namespace
}  // namespace containers::archive
