// The questions of the session, partition and WIM image choosers: a disk laid
// out by sfdisk with a primary and three logical partitions is asked about
// in the rows sfdisk -J reports; a two-image WIM made by wimlib-imagex opens
// the image chosen; a cancelled or empty question refuses without a guess.

#include "app/part_choosers.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/open_document.h"
#include "app/other_openers.h"
#include "filesystems/disk/partition_chooser_services.h"
#include "foundation/console.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/prompt_services.h"
#include "foundation/scripted_prompts.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/main_window_services.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

class PartChoosersTest : public ::testing::Test {
protected:
    PartChoosersTest() : windowScope_(&window_), uiScope_(&ui_), promptScope_(&prompts_) {
        foundation::ConsoleMode = false;
        app::InstallReaders();
        app::InstallPartChoosers();
    }
    ~PartChoosersTest() override { app::RemovePartChoosers(); }

    std::vector<std::string> RowLines(const std::u16string& text) {
        std::vector<std::string> lines;
        std::istringstream in(platform::Utf16ToUtf8(text));
        std::string line;
        std::getline(in, line);   // the caption
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    qvtest::TempDir dir_;
    qvtest::NullMainWindowServices window_;
    foundation::ScopedServices<image::SetMainWindowServices> windowScope_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> uiScope_;
    foundation::ScriptedPrompts prompts_;
    foundation::ScopedServices<foundation::SetPromptServices> promptScope_;
};

TEST_F(PartChoosersTest, PartitionRowsAreTheDisksAsSfdiskSeesThem) {
    const std::string disk = dir_ / "p.img";
    RunOk("truncate -s 32M " + ShellQuote(disk));
    RunOk("printf 'label: dos\\nstart=2048,size=4096,type=83\\nstart=8192,type=5\\nstart=10240,size=2048,type=83\\n"
          "start=16384,size=8192,type=7\\nstart=28672,size=32768,type=6\\n' | sfdisk -q " + ShellQuote(disk));
    // sfdisk's own view: every partition but the extended container, in order.
    const std::string expected = RunOk(
        "sfdisk -J " + ShellQuote(disk) +
        " | python3 -c 'import json,sys; d=json.load(sys.stdin)[\"partitiontable\"][\"partitions\"]; "
        "[print(p[\"size\"]//2048) for p in d if p[\"type\"] not in (\"5\",\"f\",\"85\")]'");
    foundation::ScriptedAnswer cancel;
    cancel.answer = foundation::kIdCancel;
    prompts_.Push(cancel);
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(disk), false, true, false));
    EXPECT_FALSE(doc);
    const auto shown = prompts_.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].kind, foundation::prompt_kind::kChooseSession);
    std::string sizes;
    const std::vector<std::string> lines = RowLines(shown[0].text);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind(std::to_string(i + 1) + ".  " + std::to_string(i + 1) + "  ", 0), 0u) << lines[i];
        const size_t mb = lines[i].rfind("  ");
        sizes += lines[i].substr(mb + 2, lines[i].size() - mb - 5) + "\n";
    }
    EXPECT_EQ(lines.size(), 4u);
    EXPECT_EQ(sizes, expected);
}

TEST_F(PartChoosersTest, TwoImageWimOpensTheChosenImage) {
    RunOk("cd " + ShellQuote(dir_.path()) +
          " && mkdir -p a b/sub && echo one > a/one.txt && echo two > b/two.txt && echo deep > b/sub/deep.txt"
          " && wimlib-imagex capture a m.wim first >/dev/null && wimlib-imagex append b m.wim second >/dev/null");
    struct Row {
        const char* name;
        int answer;
        int chosen;
        const char* firstName;   // empty: refused
    };
    const Row rows[] = {
        {"first image", foundation::kIdOk, 0, "one.txt"},
        {"second image", foundation::kIdOk, 1, "sub"},
        {"cancelled", foundation::kIdCancel, -1, ""},
        {"a row that is not there", foundation::kIdOk, 2, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        foundation::ScriptedAnswer answer;
        answer.answer = row.answer;
        answer.chosenIndex = row.chosen;
        prompts_.Push(answer);
        image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir_ / "m.wim"), false, true, false));
        EXPECT_EQ(static_cast<bool>(doc), *row.firstName != 0);
        if (!doc) continue;
        const std::string listed = RunOk("wimlib-imagex dir " + ShellQuote(dir_ / "m.wim") + " " +
                                         std::to_string(row.chosen + 1) + " | sort");
        std::string ours = "/\n";
        std::vector<std::pair<image::ImageFolder*, std::string>> work{{doc->rootFolder, ""}};
        while (!work.empty()) {
            auto [folder, prefix] = work.back();
            work.pop_back();
            for (image::ImageItem* item = folder->firstItem; item; item = item->next) {
                if (image::IsDotOrDotDot(item)) continue;
                const std::string path = prefix + "/" + platform::Utf16ToUtf8(item->name.str());
                ours += path + "\n";
                if (image::IsFolderItem(item) && item->ownFolder) work.push_back({item->ownFolder, path});
            }
        }
        EXPECT_EQ(RunOk("printf %s " + ShellQuote(ours) + " | sort"), listed);
    }
}

TEST_F(PartChoosersTest, SessionsOfACueSheetAreAsked) {
    // Two sessions, each an ISO image made by genisoimage.
    RunOk("cd " + ShellQuote(dir_.path()) +
          " && mkdir a b && echo A > a/first.txt && echo B > b/second.txt && genisoimage -quiet -o a.iso a"
          " && genisoimage -quiet -o b.iso b");
    qvtest::WriteFileText(dir_ / "d.cue",
                          "FILE \"a.iso\" BINARY\nREM SESSION 01\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"
                          "FILE \"b.iso\" BINARY\nREM SESSION 02\n  TRACK 02 MODE1/2048\n    INDEX 01 00:00:00\n");
    for (const int answer : {foundation::kIdCancel, foundation::kIdOk}) {
        SCOPED_TRACE(answer);
        foundation::ScriptedAnswer scripted;
        scripted.answer = answer;
        scripted.chosenIndex = 0;
        prompts_.Push(scripted);
        image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir_ / "d.cue"), false, true, false));
        EXPECT_EQ(static_cast<bool>(doc), answer == foundation::kIdOk);
        const auto shown = prompts_.Shown();
        ASSERT_FALSE(shown.empty());
        const std::vector<std::string> lines = RowLines(shown.back().text);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].rfind("1.  Session 1  ", 0), 0u) << lines[0];
        EXPECT_EQ(lines[1].rfind("2.  Session 2  ", 0), 0u) << lines[1];
    }
}

TEST_F(PartChoosersTest, QuestionsWithoutRowsAreNotAsked) {
    EXPECT_EQ(app::AskChooserQuestion(app::PartitionQuestion({})), -1);
    EXPECT_EQ(app::AskChooserQuestion(app::WimImageQuestion(0)), -1);
    // One partition is taken without a question.
    image::DocumentPtr doc(image::NewIsoDocument());
    EXPECT_EQ(filesystems::PartitionChooserServices().ChooseDiskPartition(*doc, {filesystems::DiskPartitionRow{}}), 0);
    EXPECT_TRUE(prompts_.Shown().empty());
    const app::ChooserQuestion images = app::WimImageQuestion(3);
    EXPECT_EQ(app::ChooserQuestionText(images), u"Import Image\r\n1.  1\r\n2.  2\r\n3.  3");
    filesystems::DiskPartitionRow big;
    big.partitionClass = 0;
    big.sectorCount = 1048576;
    EXPECT_EQ(app::PartitionQuestion({big}).rows[0][2], u"512 MB");
    big.sectorCount = uint64_t(1) << 41;   // 1 PiB: counted in 64 bits
    EXPECT_EQ(app::PartitionQuestion({big}).rows[0][2], u"1073741824 MB");
}

}  // namespace
