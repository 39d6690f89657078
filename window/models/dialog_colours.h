#pragma once
// The look every dialog shares: a soft vertical gradient behind the dialog,
// and which children are painted over it. Pure rules; the window side applies
// them to its widgets.

#include <cstdint>

namespace dialogs {

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kGradientTop{252, 252, 254};
inline constexpr Rgb kGradientBottom{240, 240, 240};
inline constexpr Rgb kWhite{255, 255, 255};

// Row `row` of a fill `height` rows high running from `from` (first row) to
// `to` (last row); `from` for a fill of one row or less.
Rgb GradientFillRow(int row, int height, Rgb from, Rgb to);

// The dialog gradient's colour at a child's top edge y, with the client area
// from top to bottom: top colour at or above the top, bottom colour at or
// below the bottom, else the rule the children have always been coloured by.
Rgb GradientColourAt(int y, int top, int bottom);

enum class ControlClass { Static, Edit, Button, Other };

// Button styles whose background is the dialog's: check boxes, radio buttons
// and three-state boxes (low four style bits 2, 3, 4, 5, 6, 9).
bool IsBoxButtonStyle(uint32_t style);

struct ControlColourQuery {
    bool stylesActive = true;
    int templateId = 0;
    ControlClass controlClass = ControlClass::Other;
    int controlId = 0;
    bool editable = false;         // an editable edit keeps its own colours
    uint32_t buttonStyle = 0;
    int childTop = 0;              // in the dialog's client coordinates
    int clientTop = 0;
    int clientBottom = 0;
};

enum class ControlFill {
    Default,            // the control's own colours
    Gradient,           // see-through text over the gradient colour
    Transparent,        // see-through, no fill of its own (push buttons, group boxes, others)
    GradientOpaqueText, // gradient brush, text background given (template 256 edits)
};

struct ControlColour {
    ControlFill fill = ControlFill::Default;
    Rgb brush;                 // Gradient, GradientOpaqueText
    Rgb textBackground;        // GradientOpaqueText
};

ControlColour ControlColourRule(const ControlColourQuery& query);

}  // namespace dialogs
