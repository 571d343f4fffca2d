// The bookmarks of the user's first Firefox profile, for the bookmark import.
//
// The profile is found through profiles.ini in the Firefox folder (section Profile0: Name,
// IsRelative, Path), and its bookmarks.html is read on a worker thread of the reader's own, while
// the caller waits. Every anchor of the file becomes one SBookmark, in document order.
#pragma once

#include "core/WorkerThread.h"
#include "import/BookmarksHtml.h"
#include "platform/base/WinTypes.h"

#include <QString>

#include <vector>

class CFireFoxReader : public CWorkerThread {
public:
    CFireFoxReader();
    ~CFireFoxReader() override;

    // Finds the bookmarks file unless keepPath is TRUE, then reads it on the worker thread and
    // returns when the thread has ended; m_bookmarks then holds the anchors of this run alone.
    // A failed lookup keeps the path of the last successful one. Throws CFailException when the
    // user's home folder is unknown.
    void ImportBookmarks(BOOL keepPath);
    // The first profile's bookmarks.html, or an empty text when profiles.ini is missing, breaks
    // the grammar, lacks Profile0 or one of its values, or names no usable folder.
    QString GetBookmarksPath();
    void Run() override;

    // Another folder holding profiles.ini instead of <home>/.mozilla/firefox; empty restores it.
    void SetFolder(const QString& folder) { m_strFolder = folder; }
    QString Folder() const;
    // The file the next run reads.
    const QString& BookmarksPath() const { return m_strBookmarksPath; }

    std::vector<SBookmark> m_bookmarks; // the anchors of the last run, in document order

private:
    QString m_strBookmarksPath;
    QString m_strFolder;
};
