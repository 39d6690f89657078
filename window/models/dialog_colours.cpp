#include "window/models/dialog_colours.h"

namespace dialogs {

Rgb GradientFillRow(int row, int height, Rgb from, Rgb to) {
    if (height <= 1 || row <= 0) return from;
    if (row >= height - 1) return to;
    const auto mix = [&](uint8_t a, uint8_t b) {
        return static_cast<uint8_t>(int(a) + (int(b) - int(a)) * row / (height - 1));
    };
    return Rgb{mix(from.red, to.red), mix(from.green, to.green), mix(from.blue, to.blue)};
}

Rgb GradientColourAt(int y, int top, int bottom) {
    if (y <= top) return kGradientTop;
    if (y >= bottom) return kGradientBottom;
    const double h = double(bottom) - double(top);
    const double d = double(y) - double(top);
    const auto low8 = [](double v) { return static_cast<uint8_t>(static_cast<int>(v) & 0xFF); };
    const uint8_t grey = low8(252.0 - d * (12.0 / h));
    return Rgb{grey, grey, low8(254.0 - d * (14.0 / h))};
}

bool IsBoxButtonStyle(uint32_t style) {
    switch (style & 0xF) {
    case 2: case 3: case 4: case 5: case 6: case 9: return true;
    default: return false;
    }
}

ControlColour ControlColourRule(const ControlColourQuery& q) {
    ControlColour answer;
    if (!q.stylesActive) return answer;
    if (q.clientBottom - q.clientTop == 0) return answer;
    const Rgb colour = GradientColourAt(q.childTop, q.clientTop, q.clientBottom);
    if (q.controlClass == ControlClass::Edit && q.editable) return answer;
    switch (q.controlClass) {
    case ControlClass::Edit:
        if (q.templateId == 236 || q.templateId == 243 || q.templateId == 332) {
            answer.fill = ControlFill::Gradient;
            answer.brush = colour;
        } else if (q.templateId == 256) {
            answer.fill = ControlFill::GradientOpaqueText;
            answer.brush = colour;
            answer.textBackground = q.controlId == 1078 ? colour : kWhite;
        }
        return answer;
    case ControlClass::Static:
        answer.fill = ControlFill::Gradient;
        answer.brush = colour;
        return answer;
    case ControlClass::Button:
        if (IsBoxButtonStyle(q.buttonStyle)) {
            answer.fill = ControlFill::Gradient;
            answer.brush = colour;
        } else {
            answer.fill = ControlFill::Transparent;
        }
        return answer;
    case ControlClass::Other:
        answer.fill = ControlFill::Transparent;
        return answer;
    }
    return answer;
}

}  // namespace dialogs
