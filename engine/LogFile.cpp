#include "engine/LogFile.h"

#include "core/Utils.h"

#include "platform/base/FileWrite.h"
#include "platform/base/TextCodec.h"

QString UpdateLogPath(const QString& folder)
{
    const QString base = folder.isEmpty() ? GetModuleDirectory() : folder;
    return taluvo::Format(u"%s/%s.log", base, QStringLiteral("Taluvo"));
}

void CLogFile::SetFileName(const QString& path)
{
    CCritSecLocker guard(m_lock);
    m_szFileName = path.isNull() ? QString(QLatin1String("")) : path;
}

void CLogFile::SetEnabled(BOOL enabled)
{
    CCritSecLocker guard(m_lock);
    m_bEnabled = enabled;
}

QString CLogFile::GetFileName() const
{
    CCritSecLocker guard(m_lock);
    return m_szFileName;
}

BOOL CLogFile::IsEnabled() const
{
    CCritSecLocker guard(m_lock);
    return m_bEnabled;
}

int CLogFile::Write(const QString& entry)
{
    CCritSecLocker guard(m_lock);
    if (m_szFileName.isEmpty())
        return 0;
    if (!m_bEnabled)
        return 1;
    // The log is a text file of the CRLF kind: every line feed is written as CR LF, as a file
    // opened in text mode would have it.
    QByteArray bytes = taluvo::AnsiEncode(entry + QLatin1Char('\n'));
    bytes.replace("\n", "\r\n");
    const bool complete = taluvo::AppendToUserFile(
        taluvo::AnsiEncode(m_szFileName).constData(), bytes.constData(), static_cast<size_t>(bytes.size()));
    return complete ? 1 : 0;
}
