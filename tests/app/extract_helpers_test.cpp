// The extraction helpers: output paths for hostile names taken from archives
// made by real tools, the overwrite question with a planted symlink and a
// read-only file, and file times read back by stat(1).

#include "app/extract_helpers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/test_support.h"

namespace {

using namespace image;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// Puts an archive member into the tree as a reader would: one folder per
// "/"-separated component, empty components skipped, the last one a file.
ImageItem* AddMember(ImageContext* ctx, const std::string& member) {
    std::vector<std::u16string> parts;
    std::u16string wide = platform::Utf8ToUtf16(member);
    size_t start = 0;
    while (start <= wide.size()) {
        size_t slash = wide.find(u'/', start);
        if (slash == std::u16string::npos) slash = wide.size();
        if (slash > start) parts.push_back(wide.substr(start, slash - start));
        start = slash + 1;
    }
    ImageFolder* folder = ctx->rootFolder;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        ImageItem* existing = FindChildByName(folder, parts[i]);
        folder = existing && existing->ownFolder ? existing->ownFolder : MakeFolderNode(ctx, folder, parts[i]);
    }
    return treetest::AddFile(folder, parts.back(), 1);
}

TEST(ExtractHelpers, HostileArchiveNamesStayInsideTheDestination) {
    treetest::TreeDocument doc;
    qvtest::TempDir dir;
    std::string zip = dir / "evil.zip";
    qvtest::RunOk("python3 -c " +
                  qvtest::ShellQuote("import zipfile,sys\n"
                                     "z=zipfile.ZipFile(sys.argv[1],'w')\n"
                                     "for n in ['../../x','a\\\\..\\\\..\\\\y','ok/dir/file.txt','ok/../../z','./dot']:\n"
                                     "    z.writestr(n,b'1')\n"
                                     "z.close()\n") +
                  " " + qvtest::ShellQuote(zip));
    // A member with an absolute name.
    qvtest::RunOk("mkdir " + qvtest::ShellQuote(dir / "abs") + " && echo 1 > " + qvtest::ShellQuote(dir / "abs/file") +
                  " && tar cPf " + qvtest::ShellQuote(dir / "evil.tar") + " " + qvtest::ShellQuote(dir / "abs/file"));
    // The member names as the tools list them.
    std::vector<std::string> members = Lines(qvtest::RunOk("unzip -Z1 " + qvtest::ShellQuote(zip)));
    for (const std::string& name : Lines(qvtest::RunOk("tar tPf " + qvtest::ShellQuote(dir / "evil.tar"))))
        members.push_back(name);
    ASSERT_GE(members.size(), 6u);

    std::string dest = dir / "out";
    qvtest::RunOk("mkdir " + qvtest::ShellQuote(dest));
    int refused = 0;
    for (const std::string& member : members) {
        ImageItem* item = AddMember(doc.ctx(), member);
        std::u16string path = app::BuildExtractPath(doc.ctx(), item, nullptr, platform::Utf8ToUtf16(dest + "/"));
        if (path.empty()) {
            ++refused;
            continue;
        }
        std::string host = platform::Utf16ToUtf8(path);
        ASSERT_EQ(host.rfind(dest + "/", 0), 0u) << member;
        qvtest::RunOk("mkdir -p \"$(dirname " + qvtest::ShellQuote(host) + ")\" && echo 1 > " + qvtest::ShellQuote(host));
    }
    EXPECT_GE(refused, 3);   // "..", "." components
    // Everything written lies inside the destination, and nothing beside it.
    std::string outside = qvtest::RunOk("find " + qvtest::ShellQuote(dir.path()) + " -mindepth 1 ! -path '*/out*' ! -name 'evil.*' ! -path '*/abs*'");
    EXPECT_EQ(outside, "");
    std::string inside = qvtest::RunOk("cd " + qvtest::ShellQuote(dest) + " && find . -type f | sort");
    EXPECT_NE(inside.find("./a_.._.._y"), std::string::npos);
    EXPECT_NE(inside.find("./ok/dir/file.txt"), std::string::npos);
    EXPECT_NE(inside.find("/abs/file"), std::string::npos);   // the absolute name, below the destination
}

// An ordinary archive made by 7z: every file member extracts to the place the
// tool recorded, below the destination.
TEST(ExtractHelpers, OrdinaryArchiveExtractsInPlace) {
    treetest::TreeDocument doc;
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && mkdir -p dir/sub 'dir/with space' && echo a > dir/a.txt && echo b > dir/sub/b.txt"
                  " && echo c > 'dir/with space/c d.txt' && 7z a -bd t.zip dir > /dev/null");
    // Members as 7z lists them: "Path = ..." then "Folder = +" or "-".
    std::vector<std::string> files;
    std::string path;
    for (const std::string& line : Lines(qvtest::RunOk("7z l -ba -slt " + qvtest::ShellQuote(dir / "t.zip")))) {
        if (line.rfind("Path = ", 0) == 0) path = line.substr(7);
        if (line == "Folder = -") files.push_back(path);
    }
    ASSERT_EQ(files.size(), 3u);
    std::string dest = dir / "out";
    for (const std::string& member : files) {
        ImageItem* item = AddMember(doc.ctx(), member);
        std::u16string out = app::BuildExtractPath(doc.ctx(), item, nullptr, platform::Utf8ToUtf16(dest));
        EXPECT_EQ(platform::Utf16ToUtf8(out), dest + "/" + member);
        qvtest::RunOk("mkdir -p \"$(dirname " + qvtest::ShellQuote(platform::Utf16ToUtf8(out)) + ")\" && touch " +
                      qvtest::ShellQuote(platform::Utf16ToUtf8(out)));
    }
    EXPECT_EQ(qvtest::RunOk("cd " + qvtest::ShellQuote(dest) + " && find dir -type f | sort"),
              qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) + " && find dir -type f | sort"));
}

TEST(ExtractHelpers, PathsRelativeToTheStartFolder) {
    treetest::TreeDocument doc;
    ImageFolder* a = treetest::AddFolder(doc.root(), u"a");
    ImageFolder* b = treetest::AddFolder(a, u"b");
    ImageItem* file = treetest::AddFile(b, u"f.txt");
    EXPECT_EQ(app::BuildExtractPath(doc.ctx(), file, a, u"/dest"), u"/dest/b/f.txt");
    EXPECT_EQ(app::BuildExtractPath(doc.ctx(), file, nullptr, u"/dest//"), u"/dest/a/b/f.txt");
    EXPECT_EQ(app::BuildExtractPath(doc.ctx(), b->ownItem, a, u"/"), u"/b/");
    EXPECT_EQ(app::BuildExtractPath(doc.ctx(), file, b, u""), u"");
    std::u16string longName(2042, u'n');   // "/" + 2042 + "/f.txt" = 2049
    EXPECT_EQ(app::BuildExtractPath(doc.ctx(), file, b, u"/" + longName), u"");
    EXPECT_EQ(app::BuildExtractPath(doc.ctx(), file, b, u"/" + longName.substr(0, 2040)).size(), 2047u);
}

TEST(ExtractHelpers, ConfirmOverwrite) {
    treetest::TreeDocument doc;
    qvtest::TempDir dir;
    auto wide = [&](const std::string& name) { return platform::Utf8ToUtf16(dir / name); };
    // Missing and folder paths: written without a question.
    EXPECT_EQ(app::ConfirmOverwrite(wide("missing"), nullptr, nullptr), 0);
    qvtest::RunOk("mkdir " + qvtest::ShellQuote(dir / "folder"));
    EXPECT_EQ(app::ConfirmOverwrite(wide("folder"), nullptr, nullptr), 0);
    EXPECT_TRUE(doc.prompts().Shown().empty());

    qvtest::WriteFileText(dir / "plain", "old");
    for (int32_t answer : {1, 3, 4}) {
        foundation::StandingOverwriteAnswer = -1;
        doc.prompts().PushAnswer(answer);
        EXPECT_EQ(app::ConfirmOverwrite(wide("plain"), nullptr, nullptr), -1) << answer;
        EXPECT_EQ(foundation::StandingOverwriteAnswer.load(), answer);
    }
    foundation::StandingOverwriteAnswer = -1;

    // A read-only file gets its owner's write permission.
    qvtest::WriteFileText(dir / "ro", "old");
    qvtest::RunOk("chmod 0444 " + qvtest::ShellQuote(dir / "ro"));
    doc.prompts().PushAnswer(0);
    EXPECT_EQ(app::ConfirmOverwrite(wide("ro"), nullptr, nullptr), 0);
    EXPECT_EQ(qvtest::RunOk("stat -c %a " + qvtest::ShellQuote(dir / "ro")), "644\n");

    // A link planted at the path is removed, its target left alone.
    qvtest::WriteFileText(dir / "target", "precious");
    qvtest::RunOk("chmod 0444 " + qvtest::ShellQuote(dir / "target"));
    qvtest::RunOk("ln -s " + qvtest::ShellQuote(dir / "target") + " " + qvtest::ShellQuote(dir / "link"));
    doc.prompts().PushAnswer(2);   // yes to all
    EXPECT_EQ(app::ConfirmOverwrite(wide("link"), nullptr, nullptr), 0);
    EXPECT_NE(::access((dir / "link").c_str(), F_OK), 0);
    EXPECT_EQ(qvtest::RunOk("stat -c %a " + qvtest::ShellQuote(dir / "target")), "444\n");
    // A FIFO planted at the path is replaced too (opening it to write would block).
    qvtest::RunOk("mkfifo " + qvtest::ShellQuote(dir / "fifo"));
    EXPECT_EQ(app::ConfirmOverwrite(wide("fifo"), nullptr, nullptr), 0);
    EXPECT_NE(::access((dir / "fifo").c_str(), F_OK), 0);
    // Yes to all stands: the next file is not asked about.
    size_t asked = doc.prompts().Shown().size();
    EXPECT_EQ(app::ConfirmOverwrite(wide("plain"), nullptr, nullptr), 0);
    EXPECT_EQ(doc.prompts().Shown().size(), asked);
}

TEST(ExtractHelpers, FileTimeFromRecordDate) {
    qvtest::TempDir dir;
    std::string path = dir / "f";
    qvtest::WriteFileText(path, "x");
    platform::FileHandle file =
        platform::FileOpenUtf8(path, platform::FileAccess::ReadWrite, platform::FileDisposition::OpenExisting);
    ASSERT_NE(file, nullptr);
    // 2020-01-02 03:04:05 at GMT+1 (offset 4 x 15 minutes).
    const uint8_t date[7] = {120, 1, 2, 3, 4, 5, 4};
    app::SetExtractedFileTime(file, date);
    const uint8_t invalid[7] = {120, 13, 2, 3, 4, 5, 0};
    app::SetExtractedFileTime(file, invalid);   // left alone
    platform::FileClose(file);
    std::string expected = qvtest::RunOk("date -u -d '2020-01-02 02:04:05' +%s");
    EXPECT_EQ(qvtest::RunOk("stat -c %Y " + qvtest::ShellQuote(path)), expected);
}

}  // namespace
