#include "window/models/dialog_colours.h"

#include <gtest/gtest.h>

namespace {

using dialogs::ControlClass;
using dialogs::ControlFill;
using dialogs::Rgb;

TEST(DialogColours, GradientAtTheChildsTop) {
    struct Case {
        int y, top, bottom;
        Rgb expected;
    } cases[] = {
        {0, 0, 100, {252, 252, 254}},  {-5, 0, 100, {252, 252, 254}}, {100, 0, 100, {240, 240, 240}},
        {400, 0, 100, {240, 240, 240}}, {50, 0, 100, {246, 246, 247}}, {60, 10, 110, {246, 246, 247}},
        {1, 0, 3, {248, 248, 249}},
    };
    for (const Case& c : cases) EXPECT_EQ(dialogs::GradientColourAt(c.y, c.top, c.bottom), c.expected) << c.y;
}

TEST(DialogColours, BandedFill) {
    EXPECT_EQ(dialogs::GradientFillRow(0, 300, dialogs::kGradientTop, dialogs::kGradientBottom), dialogs::kGradientTop);
    EXPECT_EQ(dialogs::GradientFillRow(299, 300, dialogs::kGradientTop, dialogs::kGradientBottom),
              dialogs::kGradientBottom);
    EXPECT_EQ(dialogs::GradientFillRow(0, 1, dialogs::kGradientTop, dialogs::kGradientBottom), dialogs::kGradientTop);
    EXPECT_EQ(dialogs::GradientFillRow(0, 0, dialogs::kGradientTop, dialogs::kGradientBottom), dialogs::kGradientTop);
    const Rgb middle = dialogs::GradientFillRow(50, 101, dialogs::kGradientTop, dialogs::kGradientBottom);
    EXPECT_EQ(middle, (Rgb{246, 246, 247}));
}

TEST(DialogColours, ControlRuleTable) {
    const Rgb half{246, 246, 247};
    struct Case {
        const char* what;
        bool styles;
        int templateId;
        ControlClass cls;
        int id;
        bool editable;
        uint32_t style;
        int bottom;
        ControlFill fill;
        Rgb textBackground;
    } cases[] = {
        {"styles off", false, 236, ControlClass::Static, 0, false, 0, 100, ControlFill::Default, {}},
        {"no height", true, 236, ControlClass::Static, 0, false, 0, 0, ControlFill::Default, {}},
        {"static", true, 100, ControlClass::Static, 0, false, 0, 100, ControlFill::Gradient, {}},
        {"editable edit", true, 236, ControlClass::Edit, 0, true, 0, 100, ControlFill::Default, {}},
        {"read-only 236", true, 236, ControlClass::Edit, 0, false, 0, 100, ControlFill::Gradient, {}},
        {"read-only 243", true, 243, ControlClass::Edit, 0, false, 0, 100, ControlFill::Gradient, {}},
        {"read-only 332", true, 332, ControlClass::Edit, 0, false, 0, 100, ControlFill::Gradient, {}},
        {"read-only other", true, 223, ControlClass::Edit, 0, false, 0, 100, ControlFill::Default, {}},
        {"256 field 1078", true, 256, ControlClass::Edit, 1078, false, 0, 100, ControlFill::GradientOpaqueText, half},
        {"256 other field", true, 256, ControlClass::Edit, 1079, false, 0, 100, ControlFill::GradientOpaqueText,
         dialogs::kWhite},
        {"check box", true, 1, ControlClass::Button, 0, false, 3, 100, ControlFill::Gradient, {}},
        {"radio", true, 1, ControlClass::Button, 0, false, 9, 100, ControlFill::Gradient, {}},
        {"three-state", true, 1, ControlClass::Button, 0, false, 0x56, 100, ControlFill::Gradient, {}},
        {"push button", true, 1, ControlClass::Button, 0, false, 0, 100, ControlFill::Transparent, {}},
        {"group box", true, 1, ControlClass::Button, 0, false, 7, 100, ControlFill::Transparent, {}},
        {"owner drawn", true, 1, ControlClass::Button, 0, false, 11, 100, ControlFill::Transparent, {}},
        {"other class", true, 1, ControlClass::Other, 0, false, 0, 100, ControlFill::Transparent, {}},
    };
    for (const Case& c : cases) {
        dialogs::ControlColourQuery q;
        q.stylesActive = c.styles;
        q.templateId = c.templateId;
        q.controlClass = c.cls;
        q.controlId = c.id;
        q.editable = c.editable;
        q.buttonStyle = c.style;
        q.childTop = 50;
        q.clientTop = 0;
        q.clientBottom = c.bottom;
        const dialogs::ControlColour answer = dialogs::ControlColourRule(q);
        EXPECT_EQ(answer.fill, c.fill) << c.what;
        if (c.fill == ControlFill::Gradient || c.fill == ControlFill::GradientOpaqueText) {
            EXPECT_EQ(answer.brush, half) << c.what;
        }
        if (c.fill == ControlFill::GradientOpaqueText) {
            EXPECT_EQ(answer.textBackground, c.textBackground) << c.what;
        }
    }
}

}  // namespace
