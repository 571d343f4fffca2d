// Shortening the texts of an HTML text's links so that the whole measures within a width: a link
// that does not fit keeps its start and its end with an ellipsis between them; its target and
// everything else stay as they are.
#pragma once

#include <QString>

#include <functional>

// width measures a whole HTML text in pixels. Only links whose text is plain (no tags inside) are
// shortened, never inside a character entity; each is shortened as far as it must be for the
// text to fit with every other link cut to its ellipsis, so links on rows of their own each keep
// as much as their row has room for. Returns the text unchanged when it fits already.
QString FitLinkTexts(const QString& html, int room, const std::function<int(const QString&)>& width);
