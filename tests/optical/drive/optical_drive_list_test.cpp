// Speed labels and drive texts as the burn dialog shows them.

#include <gtest/gtest.h>

#include "optical/drive/optical_drive_list.h"
#include "platform/text.h"

namespace optical {
namespace {

TEST(OpticalDriveList, SpeedLabelsFindTheirUnit) {
    struct Row {
        uint32_t speed;
        uint32_t unitBefore;
        uint8_t media;
        const char16_t* text;   // null: no entry
        uint32_t unitAfter;
    } rows[] = {
        {11080, 1, 0, u"8x (11080KB/s)", 1385},
        {1385, 1, 0, u"1x (1385KB/s)", 1385},
        {7056, 1, 0, u"40x (7056KB/s)", 176},      // 40 x 176.4, divisible by none of the units
        {2646, 1385, 0, u"2x (2646KB/s)", 1385},
        {2078, 1385, 0, u"1.5x (2078KB/s)", 1385},
        {17980, 1, 0, u"4x (17980KB/s)", 4495},
        {0, 1, 0, nullptr, 1},
        {100, 1385, 0, nullptr, 1385},             // below a tenth of the unit
        {UINT32_MAX, 1, 0, u"Maximum", 1},
        {4294967290u, 1, 0, u"955498.8x (4294967290KB/s)", 4495},   // no wrap in the 176.4 test
    };
    for (const Row& r : rows) {
        uint32_t unit = r.unitBefore;
        SpeedEntry entry;
        const bool made = MakeSpeedEntry(r.speed, unit, r.media, entry);
        EXPECT_EQ(made, r.text != nullptr) << r.speed;
        if (r.text) {
            EXPECT_EQ(entry.text, r.text) << r.speed;
        }
        EXPECT_EQ(unit, r.unitAfter) << r.speed;
    }
}

TEST(OpticalDriveList, DriveTextsArePrintableAndShort) {
    struct Row {
        std::string vendor, product;
        std::u16string text;
    } rows[] = {
        {"HL-DT-ST", "DVDRAM GH24NSD1 ", u"(E:) HL-DT-ST DVDRAM GH24NSD1"},
        {"AB\x01\x7f\xff" "C   ", "X\nY", u"(E:) ABC XY"},
        {"", "", u"(E:) "},
        {std::string(40, 'V'), std::string(40, 'P'), u"(E:) " + std::u16string(40, u'V') + u" " + std::u16string(23, u'P')},
    };
    for (const Row& r : rows) EXPECT_EQ(DriveDisplayText(u'E', r.vendor, r.product), r.text) << r.vendor;
}

}  // namespace
}  // namespace optical
