#include "platform/shell/Autostart.h"

#include "platform/base/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace taluvo::shell {
namespace {

// An Exec value quotes the program: inside the quotes ", `, $ and \ are escaped, and the file's
// own string escaping doubles every backslash again.
QString ExecValue(const QString& program)
{
    QString quoted;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

} // namespace

QString AutostartEntryPath(const QString& fileName)
{
    return UserConfigHome() + QStringLiteral("/autostart/") + fileName;
}

EAutostart AddAutostartEntry(const QString& path, const QString& name, const QString& program)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return EAutostart::folderFailed;
    QSaveFile file(path);
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\nTerminal=false\n")
                              .arg(name, ExecValue(program));
    const bool written = file.open(QIODevice::WriteOnly) && file.write(entry.toUtf8()) >= 0 && file.commit();
    return written ? EAutostart::ok : EAutostart::writeFailed;
}

EAutostart RemoveAutostartEntry(const QString& path)
{
    return !QFile::exists(path) || QFile::remove(path) ? EAutostart::ok : EAutostart::removeFailed;
}

} // namespace taluvo::shell
