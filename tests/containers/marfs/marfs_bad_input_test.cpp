// Damaged MARFS directories inside otherwise sound MZP archives (built by
// make_marfs_mzp.py from the documented layout): folders that point at
// themselves or their parents, sizes past 4 GB or past the volume, record
// lengths below their head, odd name lengths and names that are no names.
// The open ends, the good entry is always there, and the bad one is skipped.

#include <gtest/gtest.h>

#include <string>

#include "app/open_document.h"
#include "app/other_openers.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/test_support.h"

namespace {

size_t CountItems(const image::ImageFolder* root) {
    size_t n = 0;
    std::vector<const image::ImageFolder*> work{root};
    while (!work.empty()) {
        const image::ImageFolder* f = work.back();
        work.pop_back();
        for (const image::ImageItem* item = f->firstItem; item; item = item->next) {
            ++n;
            if (item->ownFolder) work.push_back(item->ownFolder);
        }
    }
    return n;
}

TEST(MarfsBadInput, DamagedEntriesAreSkipped) {
    struct Row {
        const char* name;
        size_t items;   // entries the tree ends up with
    };
    const Row rows[] = {
        {"plain", 1},        {"cycle", 2},       {"self-loop", 3},  {"huge folder", 1},
        {"huge file", 1},    {"short record", 1}, {"odd name", 1},  {"dot dot", 1},
        {"slash", 1},        {"nul", 1},         {"past the end", 1},
    };
    treetest::TreeDocument faces;
    qvtest::TempDir dir;
    app::InstallReaders();
    const std::string maker = std::string(QV_TEST_SOURCE_DIR) + "/tests/containers/marfs/make_marfs_mzp.py";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::RunOk("python3 " + qvtest::ShellQuote(maker) + " " + qvtest::ShellQuote(dir / "t.mzp") + " " +
                      qvtest::ShellQuote(row.name));
        image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / "t.mzp"), false, true, false));
        ASSERT_TRUE(doc);
        EXPECT_EQ(CountItems(doc->rootFolder), row.items);
        EXPECT_NE(image::FindItemByPath(doc.get(), doc->rootFolder, u"good.txt"), nullptr);
    }
    app::UninstallReaders();
}

}  // namespace
