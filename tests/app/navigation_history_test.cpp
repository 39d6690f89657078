// The folder history behind Back and Forward: sequences of visits and moves,
// each row with the entries and the position it must leave.

#include "app/navigation_history.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using app::NavigationHistory;

// One step: 'v' visits the path, 'b'/'f' go back/forward by n, 's' shows
// entry n, 'r' removes the path.
struct Step {
    char op;
    std::u16string path;
    int n = 1;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::u16string> entries;   // newest first
    int position;
};

std::vector<std::u16string> Entries(const NavigationHistory& history) {
    std::vector<std::u16string> all;
    for (int i = 0; i < history.Count(); ++i) all.push_back(*history.Entry(i));
    return all;
}

TEST(NavigationHistory, StepsLeaveEntriesAndPosition) {
    const std::vector<Case> cases = {
        {"nine visits keep the eight newest",
         {{'v', u"/1"}, {'v', u"/2"}, {'v', u"/3"}, {'v', u"/4"}, {'v', u"/5"}, {'v', u"/6"}, {'v', u"/7"},
          {'v', u"/8"}, {'v', u"/9"}},
         {u"/9", u"/8", u"/7", u"/6", u"/5", u"/4", u"/3", u"/2"},
         0},
        {"back twice then a new folder drops the newer two",
         {{'v', u"/a"}, {'v', u"/b"}, {'v', u"/c"}, {'v', u"/d"}, {'b', {}}, {'b', {}}, {'v', u"/e"}},
         {u"/e", u"/b", u"/a"},
         0},
        {"a revisit moves to the front without case",
         {{'v', u"/Docs"}, {'v', u"/b"}, {'v', u"/DOCS"}},
         {u"/DOCS", u"/b"},
         0},
        {"visiting a newer entry after going back",
         // [C, B, A] shown at A (index 2); A itself is visited again.
         {{'v', u"/A"}, {'v', u"/B"}, {'v', u"/C"}, {'b', {}, 2}, {'v', u"/C"}},
         {u"/C", u"/A"},
         0},
        {"back from the oldest stays there",
         {{'v', u"/a"}, {'v', u"/b"}, {'b', {}, 5}},
         {u"/b", u"/a"},
         1},
        {"forward from the newest stays there",
         {{'v', u"/a"}, {'v', u"/b"}, {'f', {}, 3}},
         {u"/b", u"/a"},
         0},
        {"an entry outside the list does not move",
         {{'v', u"/a"}, {'v', u"/b"}, {'s', {}, 7}, {'s', {}, -1}},
         {u"/b", u"/a"},
         0},
        {"removing an older entry keeps the shown one",
         {{'v', u"/a"}, {'v', u"/b"}, {'v', u"/c"}, {'b', {}, 2}, {'r', u"/b"}},
         {u"/c", u"/a"},
         1},
        {"removing the shown oldest entry steps to the nearest",
         {{'v', u"/a"}, {'v', u"/b"}, {'b', {}}, {'r', u"/a"}},
         {u"/b"},
         0},
        {"moves on an empty list do nothing",
         {{'b', {}}, {'f', {}}, {'s', {}, 0}, {'r', u"/x"}},
         {},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NavigationHistory history;
        for (const Step& step : c.steps) {
            switch (step.op) {
            case 'v': history.Record(step.path); break;
            case 'b': history.Back(step.n); break;
            case 'f': history.Forward(step.n); break;
            case 's': history.SetPosition(step.n); break;
            case 'r': history.Remove(step.path); break;
            }
        }
        EXPECT_EQ(Entries(history), c.entries);
        EXPECT_EQ(history.Position(), c.position);
        EXPECT_EQ(history.BackCount() + history.ForwardCount() + (history.Count() ? 1 : 0), history.Count());
    }
}

TEST(NavigationHistory, MovesAnswerTheirEntryAndMenusListTheirDirection) {
    NavigationHistory history;
    EXPECT_FALSE(history.Back(1));
    EXPECT_EQ(history.BackCount(), 0);
    for (const char16_t* path : {u"/a", u"/b", u"/c", u"/d"}) history.Record(path);
    EXPECT_EQ(history.BackCount(), 3);
    EXPECT_EQ(history.ForwardCount(), 0);
    EXPECT_EQ(history.Back(1), u"/c");
    EXPECT_EQ(history.Back(1), u"/b");
    EXPECT_EQ(history.MenuEntries(true), (std::vector<int>{3}));
    EXPECT_EQ(history.MenuEntries(false), (std::vector<int>{1, 0}));
    EXPECT_EQ(history.Forward(1), u"/c");
    EXPECT_EQ(history.SetPosition(3), u"/a");
    EXPECT_TRUE(history.MenuEntries(true).empty());
    history.Clear();
    EXPECT_EQ(history.Count(), 0);
    EXPECT_TRUE(history.MenuEntries(false).empty());
}

TEST(NavigationHistory, MenuTextsShowNamesAsTheyAre) {
    const struct {
        std::u16string path;
        std::u16string text;
    } rows[] = {
        {u"/Tom & Jerry", u"/Tom && Jerry"},
        {u"/a\nb\tc", u"/a\uFFFDb\uFFFDc"},
        {u"/\u00e9t\u00e9", u"/\u00e9t\u00e9"},
        {u"", u""},
    };
    for (const auto& row : rows) EXPECT_EQ(app::HistoryMenuText(row.path), row.text);
}

}  // namespace
