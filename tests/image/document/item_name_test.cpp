// Item names: names a reader puts in the document's arena read back intact
// among many others (short, block-sized, longer than a block), a copy or a
// rename of one owns its text, and the side record is made only on a write.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/document/item_name.h"
#include "image/document/item_tree.h"

namespace {

using image::ItemName;
using image::NameArena;

TEST(ItemName, ArenaNamesOfEverySizeReadBackIntact) {
    struct Row {
        const char* what;
        size_t units;
    };
    const Row rows[] = {
        {"one unit", 1},
        {"a typical name", 18},
        {"a quarter block", 8 * 1024},
        {"longer than a block", 40 * 1024},
    };
    NameArena arena;
    std::vector<ItemName> names;
    std::vector<std::u16string> expected;
    // Enough names to fill several blocks, so block changes are crossed.
    for (int round = 0; round < 200; ++round) {
        for (const Row& row : rows) {
            expected.push_back(std::u16string(row.units, char16_t(u'a' + round % 26)));
            names.emplace_back();
            names.back().AssignInArena(arena, expected.back());
        }
    }
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(names[i].view(), expected[i]) << rows[i % 4].what << " #" << i;
    }
}

TEST(ItemName, ACopyOrRenameOfAnArenaNameOwnsItsText) {
    NameArena arena;
    ItemName read;
    read.AssignInArena(arena, u"from the image");
    ItemName copy = read;
    ItemName renamed;
    renamed.AssignInArena(arena, u"old");
    renamed = u"new name";
    arena.Reset();   // the document's tree went; the copies stay readable
    EXPECT_EQ(copy, u"from the image");
    EXPECT_EQ(renamed, u"new name");
    EXPECT_EQ(std::u16string(copy) + u"!", u"from the image!");
}

TEST(ItemName, TheSideRecordIsMadeOnlyByAWrite) {
    std::unique_ptr<image::ImageItem> item(image::NewItem());
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->Side().extentList.empty());
    EXPECT_EQ(item->side, nullptr);
    item->EditSide().typeText = u"Text Document";
    ASSERT_NE(item->side, nullptr);
    EXPECT_EQ(item->Side().typeText, u"Text Document");
}

}  // namespace
