// The container writer switches start from their documented defaults.

#include <gtest/gtest.h>

#include "image/sectors/writer_switches.h"

namespace image {
namespace {

TEST(WriterSwitches, Defaults) {
    WriterSwitchE = true;
    WriterSwitchH = false;
    ResetWriterSwitches();
    EXPECT_FALSE(WriterSwitchE.load());
    EXPECT_FALSE(WriterSwitchC.load());
    EXPECT_TRUE(WriterSwitchH.load());
}

}  // namespace
}  // namespace image
