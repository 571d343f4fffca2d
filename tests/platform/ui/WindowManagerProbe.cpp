// Runs under a virtual X server with openbox (the window-manager test starts it): shows dialogs of
// the dialog framework and prints what the window manager allows for each (_NET_WM_ALLOWED_ACTIONS),
// so the test can check which boxes of the title bar a dialog gets.
#include "platform/ui/Application.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/detail/Core.h"
#include "tests/platform/ui/WindowShot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QWidget>
#include <QWindow>

#include <cstdio>

namespace {

using taluvo::ui::DialogTemplate;

enum : WORD { IDD_FIXED = 971, IDD_WITH_BOXES = 972 };

const taluvo::ui::DialogTemplateTable kTemplates {
    DialogTemplate { IDD_FIXED, u"Fixed", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 160, 60, nullptr, 0,
        { { IDOK, u"Button", u"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 103, 39, 50, 14 } } },
    DialogTemplate { IDD_WITH_BOXES, u"Boxes", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 160, 60, nullptr, 0,
        { { IDOK, u"Button", u"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 103, 39, 50, 14 } } },
};

QString AllowedActions(QWidget* widget)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
        { QStringLiteral("-id"), QString::number(widget->winId()), QStringLiteral("_NET_WM_ALLOWED_ACTIONS") });
    xprop.waitForFinished(5000);
    return QString::fromLocal8Bit(xprop.readAllStandardOutput()).trimmed();
}

} // namespace

int main(int argc, char** argv)
{
    taluvo::ui::CUiApplication app(argc, argv);
    if (app.Headless()) {
        std::printf("no display\n");
        return 2;
    }
    // The window manager starts beside the probe: wait until it has taken the screen.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QProcess root;
        root.start(QStringLiteral("xprop"), { QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK") });
        root.waitForFinished(5000);
        if (QString::fromLocal8Bit(root.readAllStandardOutput()).contains(QLatin1String("window id")))
            break;
        if (waited.elapsed() > 20000) {
            std::printf("no window manager\n");
            return 1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    int failures = 0;
    taluvo::ui::test::ScopedDialogHook hook([&](HWND dialog, WORD id) {
        QWidget* widget = taluvo::ui::detail::WidgetOf(dialog);
        // The window manager takes the window in its own time: ask until it has said what it allows.
        QString actions;
        QElapsedTimer timer;
        timer.start();
        // openbox names itself on the root window before it takes new windows: one mapped in
        // between is never managed, which WaitFramed mends by mapping it again.
        taluvo::test::WaitFramed(dialog);
        while (!actions.contains(QLatin1String("_NET_WM_ACTION_CLOSE")) && timer.elapsed() < 15000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
            actions = AllowedActions(widget);
        }
        if (!actions.contains(QLatin1String("_NET_WM_ACTION_CLOSE")))
            ++failures;
        QProcess hints;
        hints.start(QStringLiteral("xprop"),
            { QStringLiteral("-id"), QString::number(widget->winId()), QStringLiteral("_MOTIF_WM_HINTS") });
        hints.waitForFinished(5000);
        std::printf("dialog %d: %s\n", id, qPrintable(actions));
        std::printf("hints %d: %s\n", id, qPrintable(QString::fromLocal8Bit(hints.readAllStandardOutput()).trimmed()));
        while (!(widget->windowHandle() && widget->windowHandle()->isExposed()) && timer.elapsed() < 15000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        QCoreApplication::processEvents();
        if (argc > 1) {
            // A picture of the screen with the dialog and its frame, for layout review.
            QProcess shot;
            shot.start(QStringLiteral("import"),
                { QStringLiteral("-window"), QStringLiteral("root"),
                    QStringLiteral("%1/window-manager-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(id) });
            shot.waitForFinished(10000);
        }
        std::fflush(stdout);
        EndDialog(dialog, IDOK);
    });
    for (WORD id : { IDD_FIXED, IDD_WITH_BOXES })
        DialogBoxParam(nullptr, MAKEINTRESOURCE(id), nullptr, nullptr, 0);
    return failures == 0 ? 0 : 1;
}
