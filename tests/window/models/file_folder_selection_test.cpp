// The chooser's name box: selected names shown quoted, and typed text turned
// into full paths or refused (missing names, the size cap), or left to the
// view as a filter.

#include "window/models/file_folder_selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using dialogs::SelectionOutcome;

TEST(FileFolderSelection, SelectedNamesAreQuoted) {
    EXPECT_EQ(dialogs::QuotedSelection(u"/d", {u"/d/a.txt", u"/d/b.txt", u"/d/Docs"}), u"\"a.txt\" \"b.txt\" \"Docs\"");
    // Outside the folder a name keeps its path; the folder itself too.
    EXPECT_EQ(dialogs::QuotedSelection(u"/d/", {u"/e/x", u"/d/"}), u"\"/e/x\" \"/d/\"");
    EXPECT_EQ(dialogs::QuotedSelection(u"/d", {}), u"");
}

TEST(FileFolderSelection, TypedTextBecomesPaths) {
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && touch a.txt 'b c.txt' \"q\\\"uote\" && mkdir Docs && ln -s nowhere dangling");
    const std::u16string d = platform::Utf8ToUtf16(dir.path());
    struct Row {
        const char* name;
        std::u16string text;
        SelectionOutcome outcome;
        std::vector<std::u16string> paths;
        std::u16string bad;
    };
    const Row rows[] = {
        {"quoted files and a folder", u"\"a.txt\" \"b c.txt\"  \"Docs\"", SelectionOutcome::Chosen,
         {d + u"/a.txt", d + u"/b c.txt", d + u"/Docs"}, u""},
        {"one bare name, blanks around", u" \t a.txt\t", SelectionOutcome::Chosen, {d + u"/a.txt"}, u""},
        {"a bare name with a space", u"b c.txt", SelectionOutcome::Chosen, {d + u"/b c.txt"}, u""},
        {"a leading slash is a full path", u"\"" + d + u"/Docs\" a.txt", SelectionOutcome::Chosen,
         {d + u"/Docs", d + u"/a.txt"}, u""},
        {"a dangling link still names an entry", u"dangling", SelectionOutcome::Chosen, {d + u"/dangling"}, u""},
        {"a wildcard filters", u"*.iso", SelectionOutcome::Filter, {}, u""},
        {"a quoted wildcard is a name", u"\"*.iso\"", SelectionOutcome::Invalid, {}, u"*.iso"},
        {"empty text filters", u"  ", SelectionOutcome::Filter, {}, u""},
        {"only empty quotes", u"\"\" \"\"", SelectionOutcome::Filter, {}, u""},
        {"a missing name keeps the dialog", u"\"a.txt\" \"gone.txt\"", SelectionOutcome::Invalid, {}, u"gone.txt"},
        {"an unclosed quote runs to the end", u"\"b c.txt", SelectionOutcome::Chosen, {d + u"/b c.txt"}, u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const dialogs::SelectionResult r = dialogs::ParseSelectionText(row.text, d);
        EXPECT_EQ(r.outcome, row.outcome);
        EXPECT_EQ(r.paths, row.paths);
        EXPECT_EQ(r.bad, row.bad);
    }
}

TEST(FileFolderSelection, TheCapRefusesAHugeSelection) {
    // One folder named again and again, past the cap.
    std::u16string text;
    while (text.size() < dialogs::kSelectionUnits * 3 / 2) text += u"\"/tmp\" ";
    const dialogs::SelectionResult r = dialogs::ParseSelectionText(text, u"/");
    EXPECT_EQ(r.outcome, SelectionOutcome::TooMany);
    EXPECT_TRUE(r.paths.empty());
}

}  // namespace
