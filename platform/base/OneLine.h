// Texts from outside (a page's title, a description or address a page or a file gave) written
// or shown where a line break starts a new line, entry or field: a log file, an e-mail, a list.
#pragma once

#include <QString>

namespace taluvo {

// Each run of control characters (C0, DEL, C1, the line and paragraph separators) becomes one
// blank; everything else stays as it is.
QString OneLine(const QString& text);

// Each run of white space and control characters becomes one blank, and the ends lose theirs.
QString SimplifiedLine(const QString& text);

} // namespace taluvo
