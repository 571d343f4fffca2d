#include "platform/shell/Launch.h"

#include "platform/base/UserFolders.h"
#include "platform/shell/ShellHooks.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

namespace taluvo::shell {
namespace {

QString EnvPath(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QStringList EnvPaths(const char* name, const QString& fallback)
{
    return EnvPath(name, fallback).split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QStringList ConfigDirs()
{
    return EnvPaths("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
}
QStringList DataDirs()
{
    return EnvPaths("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
}

// The value of a key in a section of a desktop-entry style file (no escapes undone).
QString ReadEntry(const QString& path, const QString& section, const QString& key, bool* fileFound = nullptr)
{
    QFile file(path);
    if (fileFound)
        *fileFound = file.exists();
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inSection = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line == QLatin1Char('[') + section + QLatin1Char(']');
            continue;
        }
        if (!inSection || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

// Desktop-entry string escapes: \s \n \t \r \\. Any other backslash belongs to the syntax of the
// key itself (the Exec key's quoting, \" inside quotes) and stays for that syntax to read.
QString Unescape(const QString& value)
{
    QString out;
    for (int i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == QLatin1Char('s'))
            out += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            out += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (next == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        else
            out += QLatin1Char('\\') + QString(next);
    }
    return out;
}

QString FindDesktopFile(const QString& id)
{
    QStringList dirs { UserDataHome() };
    dirs += DataDirs();
    for (const QString& dir : dirs) {
        QString path = dir + QStringLiteral("/applications/") + id;
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

} // namespace

bool IsSafeAddressArgument(const QString& address)
{
    return !address.isEmpty() && !address.startsWith(QLatin1Char('-'));
}

bool IsWebAddress(const QString& address)
{
    for (const QLatin1String scheme : { QLatin1String("http://"), QLatin1String("https://") })
        if (address.startsWith(scheme, Qt::CaseInsensitive) && address.size() > scheme.size())
            return true;
    return false;
}

int OpenUrl(const QString& address)
{
    if (!IsWebAddress(address))
        return SE_ERR_NOASSOC;
    if (OfferToHook({ RequestKind::OpenUrl, { address } }))
        return SE_SUCCESS;
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        return SE_ERR_NOASSOC;
    return QProcess::startDetached(QStringLiteral("xdg-open"), { address }) ? SE_SUCCESS : SE_ERR_NOASSOC;
}

int OpenFile(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return SE_ERR_FNF;
    // An absolute path never reads as an option; a relative one is made absolute for that reason.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (OfferToHook({ RequestKind::OpenFile, { absolute } }))
        return SE_SUCCESS;
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        return SE_ERR_NOASSOC;
    return QProcess::startDetached(QStringLiteral("xdg-open"), { absolute }) ? SE_SUCCESS : SE_ERR_NOASSOC;
}

BOOL RunProgram(const QStringList& argv, DWORD* error)
{
    if (argv.isEmpty() || argv.front().isEmpty()) {
        if (error)
            *error = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    if (OfferToHook({ RequestKind::RunProgram, argv }))
        return TRUE;
    const QString& program = argv.front();
    const QString found = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    const QFileInfo info(found);
    DWORD failure = ERROR_SUCCESS;
    if (found.isEmpty() || !info.exists())
        failure = ERROR_FILE_NOT_FOUND;
    // A start that fails is told as a file that cannot be run: the same code, a different case.
    else if (!info.isFile() || !info.isExecutable())
        failure = ERROR_ACCESS_DENIED; // NOLINT(bugprone-branch-clone)
    else if (!QProcess::startDetached(found, argv.mid(1)))
        failure = ERROR_ACCESS_DENIED;
    if (error)
        *error = failure;
    return failure == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL FindDefaultBrowser(QString& desktopFile, QString& exec)
{
    desktopFile.clear();
    exec.clear();
    // mimeapps.list in the order of the XDG MIME applications specification.
    QStringList lists;
    const QStringList desktops
        = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    QStringList configDirs { UserConfigHome() };
    configDirs += ConfigDirs();
    for (const QString& dir : configDirs) {
        for (const QString& desktop : desktops)
            lists << dir + QLatin1Char('/') + desktop.toLower() + QStringLiteral("-mimeapps.list");
        lists << dir + QStringLiteral("/mimeapps.list");
    }
    QStringList dataDirs { UserDataHome() };
    dataDirs += DataDirs();
    for (const QString& dir : dataDirs) {
        lists << dir + QStringLiteral("/applications/mimeapps.list");
        lists << dir + QStringLiteral("/applications/defaults.list");
    }
    for (const QString& list : lists) {
        const QString value
            = ReadEntry(list, QStringLiteral("Default Applications"), QStringLiteral("x-scheme-handler/http"));
        for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            desktopFile = id.trimmed();
            const QString path = FindDesktopFile(desktopFile);
            if (path.isEmpty())
                continue;
            exec = Unescape(ReadEntry(path, QStringLiteral("Desktop Entry"), QStringLiteral("Exec")));
            desktopFile = path;
            return exec.isEmpty() ? FALSE : TRUE;
        }
    }
    return FALSE;
}

} // namespace taluvo::shell
