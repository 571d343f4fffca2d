// Debugger output: each call is one write to standard error, so parts from different threads
// never interleave inside one call.
#pragma once

#include <QString>

void OutputDebugString(const char16_t* text);

namespace taluvo {
void OutputDebugText(const QString& text);
}
