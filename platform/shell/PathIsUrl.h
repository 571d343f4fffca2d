// The shell's test whether a text is an address rather than a path: a scheme of at least two
// characters (a letter, then letters, digits, '+', '-' or '.') followed by a colon. A drive letter
// ("c:") is no scheme; nothing may precede the scheme, not even a blank.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

BOOL PathIsURL(const QString& text);
