// What the layer keeps per window for the painting path and the popup windows. Not for program code.
#pragma once

#include "platform/ui/detail/Core.h"

#include <QImage>

#include <optional>

namespace taluvo::ui::detail {

struct PaintState {
    QImage shown; // what the window showed after its last paint through WM_PAINT or GetDC
    QImage drawn; // drawn through GetDC, waiting for the widget to show it
    QImage backdrop; // the screen under a frameless popup, taken just before it showed
    bool inPaint = false;
    bool colored = false; // the control wears the colours of a WM_CTLCOLOR* answer
};

PaintState& PaintStateOf(WindowRecord& record);

} // namespace taluvo::ui::detail
