// The update log: one entry per page that became "New", appended to a plain-text file in the ANSI
// code page with CRLF line ends. The file is opened and closed per entry, so it can be viewed or
// deleted while the program runs.
#pragma once

#include "core/Mutex.h"
#include "platform/base/CriticalSection.h"
#include "platform/base/Format.h"
#include "platform/base/WinTypes.h"

#include <QString>

// The update log's file, "<folder>/Taluvo.log": an empty folder (the setting's default) means the
// program's folder, never the root of the file system.
QString UpdateLogPath(const QString& folder);

class CLogFile {
public:
    static constexpr qsizetype kLineCapacity = 3000;

    CLogFile() = default;
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    void SetFileName(const QString& path);
    void SetEnabled(BOOL enabled);

    // 1 when the entry was written or the log is disabled; 0 when nothing could be written
    // (no file name, no format, the file cannot be opened).
    template <typename... A> int Log(const char16_t* format, const A&... args)
    {
        {
            CCritSecLocker guard(m_lock);
            if (m_szFileName.isEmpty())
                return 0;
            if (!m_bEnabled)
                return 1;
        }
        if (!format)
            return 0;
        return Write(taluvo::FormatN(kLineCapacity, format, args...));
    }

    QString GetFileName() const;
    BOOL IsEnabled() const;

private:
    int Write(const QString& entry);

    QString m_szFileName;
    mutable CRITICAL_SECTION m_lock;
    BOOL m_bEnabled = FALSE;
};
