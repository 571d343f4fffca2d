// The anchors of an HTML bookmarks file, read with libxml2's tolerant HTML parser: every <A>
// element in document order with its text as a browser's innerText gives it (entities decoded,
// white space collapsed, script and style text left out; in markup that nests anchors, the text
// of an inner anchor is its own alone) and its href attribute as written
// (entities decoded). Nothing is run or fetched: the file is parsed as a stream of tags, never
// loaded as a live document. The file is read as UTF-8, as the browser writes it, whatever charset
// it declares; bytes that are not UTF-8 become U+FFFD.
#pragma once

#include <QString>

#include <functional>
#include <vector>

struct SBookmark {
    SBookmark() = default;
    SBookmark(QString title, QString href)
        : m_strTitle(std::move(title))
        , m_strHref(std::move(href))
    {
    }

    QString m_strTitle; // the anchor's text; empty when it has none
    QString m_strHref; // the anchor's href; empty when it has none
};

namespace taluvo::import {

// Files above this size are refused: the caller's thread waits for the whole read.
constexpr qint64 kMaxBookmarksFileSize = qint64(64) * 1024 * 1024;

// Appends the anchors of the file to bookmarks, in document order. Throws a CFailException
// with a message naming the file when it cannot be opened or read, is not a regular file, or is
// larger than kMaxBookmarksFileSize; nothing is appended then. The file is read whole without
// blocking (a pipe in its place fails at once), then parsed in pieces: shouldStop (may be empty)
// is asked before each piece, and when it says so, parsing ends with the anchors found so far.
void ReadBookmarksHtml(
    const QString& path, std::vector<SBookmark>& bookmarks, const std::function<bool()>& shouldStop = {});

// The same for text already in memory.
void ParseBookmarksHtml(const char* data, size_t size, std::vector<SBookmark>& bookmarks);

} // namespace taluvo::import
