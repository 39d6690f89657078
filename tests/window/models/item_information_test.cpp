// The Information texts of chosen tracks: names, the byte total as sectors
// times 2352 summed in 64 bits (a full disc passes 4 GiB), tracks counted as
// files; and the count text filled in order.

#include "window/models/item_information.h"

#include <gtest/gtest.h>

#include <memory>

#include "image/document/image_context.h"
#include "image/sheets/track_list.h"
#include "platform/text.h"

namespace dialogs {
namespace {

TEST(ItemInformation, TracksAreCountedAsRawSectors) {
    image::ImageContext ctx;
    auto list = std::make_unique<image::TrackList>();
    list->trackCount = 3;
    list->tracks[0].length = 4;
    list->tracks[1].length = 1000000;   // 2.35 GB each: the sum passes 32 bits
    list->tracks[2].length = 1000000;
    list->tracks[1].displayName = u"second";
    ctx.trackList = list.get();
    struct Row {
        std::vector<int> tracks;
        std::u16string name;
        std::u16string bytes;
        std::u16string include;
    };
    const Row rows[] = {
        {{1}, u"second", u"(2,352,000,000 bytes)", u"1 Files, 0 Folders"},
        {{0, 1, 2}, u"<Different Names>", u"(4,704,009,408 bytes)", u"3 Files, 0 Folders"},
        {{2, 7}, u"<Different Names>", u"(2,352,000,000 bytes)", u"1 Files, 0 Folders"},
    };
    for (const Row& row : rows) {
        const InformationTexts texts = TracksInformation(&ctx, row.tracks);
        EXPECT_EQ(texts.name, row.name);
        EXPECT_EQ(texts.type, u"<Different Types>");
        EXPECT_EQ(texts.location, u"\\");
        EXPECT_NE(texts.size.find(row.bytes), std::u16string::npos) << platform::Utf16ToUtf8(texts.size);
        EXPECT_EQ(texts.include, row.include);
        EXPECT_TRUE(texts.date.empty());
    }
    EXPECT_TRUE(TracksInformation(&ctx, {}).name.empty());
    ctx.trackList = nullptr;
    EXPECT_TRUE(TracksInformation(&ctx, {0}).name.empty());
    EXPECT_EQ(InformationIncludeText(12, 3), u"12 Files, 3 Folders");
}

}  // namespace
}  // namespace dialogs
