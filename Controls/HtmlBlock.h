// The bookkeeping of one plain block while the layout walks it: where the pen stands, where the
// current line started, and (draw pass) how much of the line's measured content is still to come.
#pragma once

#include "Controls/HtmlRenderer.h"

struct CHtmlRenderer::SBlock {
    POINT pen { 0, 0 };
    int left = 0;
    int width = 0; // the block rectangle's width; 0 when the block does not wrap
    int firstLine = 0; // index of the block's first line record
    int lineStart = 0; // pen x where the current line's first item went
    int remainingWidth = 0; // draw pass: measured width of the line not yet drawn
    int remainingSpaces = 0; // draw pass: spaces of the line not yet drawn
    int maxWidth = 0; // measure pass: the widest line closed in the block
};
