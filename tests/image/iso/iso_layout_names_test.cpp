// Joliet names the layout gives, and the notice the user gets for each name
// that had to be numbered.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/main_window_services.h"
#include "image/iso/iso_layout.h"
#include "tests/support/fake_services.h"

namespace {

class RecordingNotices final : public qvtest::NullMainWindowServices {
public:
    std::vector<std::pair<std::u16string, std::u16string>> notices;
    void ShowNameChangedNotice(std::u16string_view oldName, std::u16string_view newName, bool) override {
        notices.emplace_back(oldName, newName);
    }
};

TEST(IsoLayoutNames, EveryNumberedJolietNameIsNoticed) {
    const std::u16string tooLong = std::u16string(120, u'n') + u".txt";
    struct Row {
        const char* name;
        std::vector<std::u16string> names;   // linked in this order
        std::u16string numbered;             // the Joliet name that is numbered, or empty
    };
    const Row rows[] = {
        {"fits", {u"short.txt"}, u""},
        {"over the limit on the first try", {tooLong}, std::u16string(104, u'n') + u"~0.txt"},
        {"same name without case", {u"readme.txt", u"README.TXT"}, u"README~0.TXT"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingNotices views;
        foundation::ScopedServices<image::SetMainWindowServices> scoped(&views);
        image::DocumentPtr doc(image::NewIsoDocument());
        for (auto it = row.names.rbegin(); it != row.names.rend(); ++it) {
            image::ImageItem* item = image::NewItem();
            item->name = *it;
            image::LinkItemAtHead(doc->rootFolder, item);
        }
        image::IsoLayout layout;
        image::LayoutError error = image::LayoutError::None;
        ASSERT_EQ(image::PrepareTreeForWrite(*doc, layout, nullptr, &error), 1);
        std::vector<std::u16string> numbered;
        for (const image::DirectoryRecord& r : layout.folders.front()->records)
            if (r.kind == image::RecordKind::File && r.jolietId != r.item->name) numbered.push_back(r.jolietId);
        if (row.numbered.empty()) {
            EXPECT_TRUE(numbered.empty());
            EXPECT_TRUE(views.notices.empty());
        } else {
            EXPECT_EQ(numbered, std::vector<std::u16string>{row.numbered});
            ASSERT_EQ(views.notices.size(), 1u);
            EXPECT_EQ(views.notices[0].second, row.numbered);
        }
    }
}

}  // namespace
