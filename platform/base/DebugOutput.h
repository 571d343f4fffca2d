// Debugger output: what Windows shows only to an attached debugger. It goes to standard error only
// when a debugger is attached (a tracer of the process) or TALUVO_DEBUG is set and not empty, so a
// normal start prints nothing. Each call is one write, so parts from different threads never
// interleave inside one call.
#pragma once

#include <QString>

void OutputDebugString(const char16_t* text);

namespace taluvo {
void OutputDebugText(const QString& text);
}
