#include "image/document/main_window_services.h"

#include <gtest/gtest.h>

#include "image/document/current_document.h"

namespace {

// Without a window the view calls do nothing.
TEST(MainWindowServices, StandIn) {
    image::NotifyItemAddedOrRemoved(nullptr, nullptr, nullptr, true);
    image::BeginViewUpdate();
    image::EndViewUpdate();
    image::DetachFromCutTransfer(nullptr, nullptr);
    image::FillFileListWithFolder(nullptr);
    EXPECT_EQ(image::g_CurrentFolder, nullptr);
    image::AddRecentFile(u"/x");
    image::RemoveRecentFile(u"/x");
    image::ShowNameChangedNotice(u"a", u"A", false);

}

}  // namespace
