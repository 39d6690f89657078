#include "app/main_window_services.h"

#include <gtest/gtest.h>

#include "app/current_document.h"

namespace {

// Without a window the view calls do nothing.
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

}

}  // namespace
