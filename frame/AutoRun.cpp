#include "frame/AutoRun.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "frame/mainfrm.h"
#include "platform/base/Process.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

TRACE_MODULE("CMainFrame");

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

QString AutoRunEntryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/taluvo.desktop");
}

void ManageAutoRun(BOOL on)
{
    TRACE_SCOPE(u"ManageAutoRun");
    try {
        const QString path = AutoRunEntryPath();
        const QString folder = QFileInfo(path).path();
        if (!on) {
            // A missing entry is not an error.
            FAIL_CHECK_FMT(!QFile::exists(path) || QFile::remove(path), u"Unable to remove autostart entry.\n%s", path);
            return;
        }
        FAIL_CHECK_FMT(QDir().mkpath(folder), u"Unable to open autostart folder.\n%s", folder);
        const QString program = taluvo::ExecutablePath();
        FAIL_CHECK(!program.isEmpty(), QStringLiteral("Unable to allocate memory for store application path."));
        QSaveFile file(path);
        const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\nTerminal=false\n")
                                  .arg(QString::fromUtf16(APP_NAME), ExecValue(program));
        const bool written = file.open(QIODevice::WriteOnly) && file.write(entry.toUtf8()) >= 0 && file.commit();
        FAIL_CHECK_FMT(written, u"Unable to write autostart entry.\n%s", path);
    } catch (CCmnException& e) {
        TRACE0(u"ManageAutoRun. Exception - %s\n", e.GetMessage());
        MessageBox(GetDesktopWindow(), e.GetShortText(), QStringLiteral("Error."), MB_OK | MB_ICONERROR);
    }
}
