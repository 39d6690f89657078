#include "app/main_window_services.h"

#include <gtest/gtest.h>

#include "app/current_document.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

// Without a window the view calls do nothing, and extraction never overwrites
// a file it cannot ask about.
TEST(MainWindowServices, StandIn) {
    app::NotifyItemAddedOrRemoved(nullptr, nullptr, nullptr, true);
    app::BeginViewUpdate();
    app::EndViewUpdate();
    app::DetachFromCutTransfer(nullptr, nullptr);
    app::FillFileListWithFolder(nullptr);
    EXPECT_EQ(app::g_CurrentFolder, nullptr);
    app::AddRecentFile(u"/x");
    app::RemoveRecentFile(u"/x");
    app::ShowNameChangedNotice(u"a", u"A", false);

    qvtest::TempDir dir;
    qvtest::WriteFileText(dir / "there", "x");
    EXPECT_EQ(app::ConfirmOverwrite(platform::Utf8ToUtf16(dir / "there"), nullptr, nullptr), -1);
    EXPECT_EQ(app::ConfirmOverwrite(platform::Utf8ToUtf16(dir / "absent"), nullptr, nullptr), 0);
    EXPECT_TRUE(app::BuildExtractPath(nullptr, nullptr, nullptr, u"/dest").empty());
}

}  // namespace
