// Archives built byte by byte from the documented layout by python3 and zlib
// (the seed recipes of the fuzz targets): an MZP with a two-entry MARFS
// volume, and an XDI around an image made by genisoimage. Our reader opens
// both and extracts what the recipe put in.

#include <gtest/gtest.h>

#include <string>

#include "app/extract_job.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

TEST(HandMadeFixtures, RecipesOpenAndExtract) {
    struct Row {
        const char* recipe;   // tests/fuzz/<name>
        const char* input;
        const char* file;     // extracted file to check
        std::string content;
    };
    std::string hello;
    for (int i = 0; i < 50; ++i) hello += "hello\n";
    const Row rows[] = {
        {"mzp_fuzz.cpp", "one.mzp", "a.txt", hello},
        {"xdi_fuzz.cpp", "one.xdi", "a.txt", "hello\n"},
    };
    treetest::TreeDocument faces;
    app::InstallReaders();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.recipe);
        qvtest::TempDir dir;
        const std::string source = std::string(QV_TEST_SOURCE_DIR) + "/tests/fuzz/" + row.recipe;
        RunOk("cd " + ShellQuote(dir.path()) + " && mkdir seeds companions && sed -n '/^\\/\\* seeds$/,/^\\*\\/$/p' " +
              ShellQuote(source) + " | sed '1d;$d' > recipe.sh && bash -euo pipefail recipe.sh seeds companions");
        image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / ("seeds/" + std::string(row.input))), false, true, false));
        ASSERT_TRUE(doc);
        app::ExtractRequest request;
        request.destination = platform::Utf8ToUtf16(dir / "out");
        request.allFiles = true;
        EXPECT_EQ(app::ExtractItems(doc.get(), doc->rootFolder, {}, request, nullptr), 1);
        EXPECT_EQ(RunOk("cat " + ShellQuote(dir / ("out/" + std::string(row.file)))), row.content);
    }
    app::UninstallReaders();
}

}  // namespace
