// Items come from slabs: many items made and freed in mixed order keep their
// own contents, and freed room is used again.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "image/document/item_tree.h"

namespace {

TEST(ItemTreePool, ManyItemsFreedInMixedOrderKeepTheirContents) {
    std::vector<image::ImageItem*> items;
    std::mt19937 random(7);
    for (int round = 0; round < 4; ++round) {
        // Enough for several slabs.
        while (items.size() < 1000) {
            image::ImageItem* item = image::NewItem();
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->archiveIndex, -1);
            EXPECT_EQ(item->next, nullptr);
            EXPECT_TRUE(item->name.empty());
            item->size = static_cast<int64_t>(reinterpret_cast<uintptr_t>(item));
            item->name = u"a name long enough for the heap " + std::u16string(1, char16_t(u'A' + round));
            items.push_back(item);
        }
        std::shuffle(items.begin(), items.end(), random);
        // Free about half, check the rest were not touched.
        const size_t keep = items.size() / 2;
        for (size_t i = keep; i < items.size(); ++i) image::FreeItem(nullptr, items[i]);
        items.resize(keep);
        for (const image::ImageItem* item : items) {
            EXPECT_EQ(item->size, static_cast<int64_t>(reinterpret_cast<uintptr_t>(item)));
            EXPECT_EQ(item->name.substr(0, 6), u"a name");
        }
    }
    for (image::ImageItem* item : items) image::FreeItem(nullptr, item);
}

TEST(ItemTreePool, UniquePointerAndPlainObjectsStillWork) {
    auto owned = std::make_unique<image::ImageItem>();
    owned->name = u"x";
    EXPECT_EQ(owned->archiveIndex, -1);
    image::ImageItem onStack;
    EXPECT_EQ(onStack.archiveIndex, -1);
}

}  // namespace
