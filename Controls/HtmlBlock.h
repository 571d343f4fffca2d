// The bookkeeping of one plain block while the layout walks it: where the pen stands, where the
// current line started, and (draw pass) how much of the line's measured content is still to come.
#pragma once

#include "Controls/HtmlRenderer.h"

struct CHtmlRenderer::SBlock {
    POINT pen { 0, 0 };
    int left = 0;
    // The width lines wrap at: the same in both passes (the measure pass's rectangle), so the
    // draw pass breaks exactly where the measure pass did; 0 when the block does not wrap.
    int width = 0;
    int firstLine = 0; // index of the block's first line record
    int lineStart = 0; // pen x where the current line's first item went
    int extra = 0; // draw pass: justification pixels the current line has received so far
    // Width of the current line's items as the measure pass saw them.
    int Used() const { return pen.x - lineStart - extra; }
    int remainingWidth = 0; // draw pass: measured width of the line not yet drawn
    int remainingSpaces = 0; // draw pass: spaces of the line not yet drawn
    int maxWidth = 0; // measure pass: the widest line closed in the block
};
