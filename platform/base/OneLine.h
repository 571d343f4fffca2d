// Texts from outside (a page's title, a description or address a page or a file gave) written
// or shown where a line break starts a new line, entry or field: a log file, an e-mail, a list.
#pragma once

#include <QString>

namespace taluvo {

// Each run of control characters (C0, DEL, C1, the line and paragraph separators, and the
// direction marks, embeddings, overrides and isolates) becomes one blank; everything else stays
// as it is. For showing only: what is stored keeps the text as it came.
QString OneLine(const QString& text);

// Each run of white space and control characters becomes one blank, and the ends lose theirs.
QString SimplifiedLine(const QString& text);

} // namespace taluvo
