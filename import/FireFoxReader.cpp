#include "import/FireFoxReader.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "import/IniParser.h"
#include "import/IniValues.h"
#include "import/UserFolders.h"

#include <new>
#include <string>

TRACE_MODULE("ImportFireFox");

CFireFoxReader::CFireFoxReader() = default;

CFireFoxReader::~CFireFoxReader()
{
    StopAndJoin();
}

QString CFireFoxReader::Folder() const
{
    return m_strFolder.isEmpty() ? taluvo::import::DefaultFirefoxFolder() : m_strFolder;
}

QString CFireFoxReader::GetBookmarksPath()
{
    const QString folder = Folder();
    FAIL_CHECK(!folder.isEmpty(), QStringLiteral("Unable to get path to \"Application Data\"."));

    std::string name;
    std::string path;
    LONG isRelative = 0;
    // Firefox keeps sections and keys of its own in the file; only Profile0 matters here.
    IniParser::CIniFile profiles(false, true, true);
    IniParser::CSection* profile = profiles.AddSection("Profile0");
    profile->AddParameter("Name", new IniParser::CStringValue(&name, IniParser::CStringValue::kNoLimit, true), true);
    profile->AddParameter(
        "IsRelative", new IniParser::CNumberValue<LONG>(&isRelative, nullptr, IniParser::fmtDec, 0), true);
    profile->AddParameter("Path", new IniParser::CStringValue(&path, IniParser::CStringValue::kNoLimit, true), true);
    try {
        profiles.Load(CWideToAnsi(folder + QStringLiteral("/profiles.ini")).c_str());
    } catch (IniParser::CException* e) {
        delete e;
        return QString();
    }

    const QString profileFolder = CAnsiToWide(path.data(), static_cast<qsizetype>(path.size())).Get();
    if (isRelative == 1)
        return folder + QLatin1Char('/') + profileFolder + QStringLiteral("/bookmarks.html");
    // Otherwise Path names the profile's folder itself, which only an absolute path can do.
    if (!profileFolder.startsWith(QLatin1Char('/')))
        return QString();
    return profileFolder + QStringLiteral("/bookmarks.html");
}

void CFireFoxReader::ImportBookmarks(BOOL keepPath)
{
    TRACE_SCOPE(u"CFireFoxReader::ImportBookmarks");
    if (!keepPath) {
        const QString path = GetBookmarksPath();
        if (!path.isEmpty())
            m_strBookmarksPath = path;
    }
    if (!Start()) {
        // The list must never show an earlier run's result as this one's.
        m_bookmarks.clear();
        TRACE0(u"CFireFoxReader::ImportBookmarks. Unable to start the reader thread.\r\n");
        return;
    }
    Wait(INFINITE);
}

void CFireFoxReader::Run()
{
    m_bookmarks.clear();
    try {
        taluvo::import::ReadBookmarksHtml(m_strBookmarksPath, m_bookmarks, [this] { return GetStopCount() > 0; });
    } catch (CCmnException& e) {
        TRACE0(u"CFireFoxReader::Run. %s.", e.GetMessage());
    } catch (const std::bad_alloc&) {
        TRACE0(u"CFireFoxReader::Run. %s.", u"Not enough memory to read the bookmarks file");
    }
}
