// Runs on a real X server: the main window over the prepared database of its program folder gets
// the group and page commands' keys from xdotool, each once while the command is available and
// where it matters while it is disabled in the menus (the handler then says why it does nothing).
// The dialogs the keys open are saved as screenshots into the folder TALUVO_PROBE_ARTEFACTS names. One
// line per key is printed; exit code 0 when every key reached its command.
#include "core/Globals.h"
#include "core/prefs/Preferences.h"
#include "frame/mainfrm.h"
#include "platform/ui/Application.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/detail/Core.h"
#include "res/resource.h"
#include "tests/frame/ProbeWindow.h"
#include "tests/platform/ui/TrayTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <iterator>
#include <string>

using namespace taluvo::test::tray;
namespace uitest = taluvo::ui::test;

namespace {

QString g_artefacts;

bool SaveShot(HWND window, const char* name)
{
    QWidget* widget = taluvo::ui::detail::WidgetOf(window);
    if (!widget)
        return false;
    QDir().mkpath(g_artefacts);
    const QString path = g_artefacts + QLatin1Char('/') + QLatin1String(name);
    const bool saved = widget->grab().toImage().save(path, "PNG");
    std::printf("screenshot %s: %s\n", saved ? "saved" : "NOT saved", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    taluvo::ui::CUiApplication app(argc, argv);
    if (app.Headless()) {
        std::printf("no X display\n");
        return 3;
    }
    g_artefacts = QString::fromLocal8Bit(qgetenv("TALUVO_PROBE_ARTEFACTS"));
    if (g_artefacts.isEmpty()) {
        std::printf("TALUVO_PROBE_ARTEFACTS names no folder\n");
        return 2;
    }
    CMessageLoop loop;
    CMainFrame frame;
    if (const int failed = ShowProbeWindow(loop, frame))
        return failed;
    // The keys go to the window with the keyboard focus, as the user's would.
    QWidget* window = taluvo::ui::detail::WidgetOf(frame);
    const bool active = PumpUntil(
        [&] {
            if (QApplication::activeWindow() == window)
                return true;
            window->activateWindow();
            RunXdotool({ "windowfocus", std::to_string(window->winId()) });
            return false;
        },
        10000);
    if (!active) {
        std::printf("the window did not get the focus\n");
        return 5;
    }

    // Boxes are answered and remembered; dialogs are shot and closed.
    QString lastBox;
    uitest::ScopedMessageBoxHook boxes([&](const uitest::MessageBoxRequest& r) {
        lastBox = r.text;
        return IDOK;
    });
    WORD lastDialog = 0;
    uitest::ScopedDialogHook dialogs([&](HWND dlg, WORD id) {
        lastDialog = id;
        if (id == 202)
            SaveShot(dlg, "group-dialog.png");
        else if (id == 207)
            SaveShot(dlg, "page-properties-dialog.png");
        ::EndDialog(dlg, IDCANCEL);
    });

    auto selectGroup = [&] { frame.m_mainTree.SelectItem(frame.FindGroup(1)); };
    auto selectPage = [&] { frame.m_mainTree.SelectItem(frame.FindPage(1, 1)); };
    auto pageEnabled = [&] { return (frame.m_mainTree.GetItemData(frame.FindPage(1, 1)) & TREE_IS_ENABLED) != 0; };
    auto groupEnabled = [&] { return (frame.m_mainTree.GetItemData(frame.FindGroup(1)) & TREE_IS_ENABLED) != 0; };
    auto disabled = [&](UINT id) { return (frame.UIGetState(static_cast<int>(id)) & UPDUI_DISABLED) != 0; };

    struct Key {
        const char* keys;
        UINT command;
        std::function<void()> select;
        std::function<bool()> reached;
    };
    // Work offline by its key: automatic detection is switched off first, as the preferences leave it.
    g_prefs.GetParam(kAutoDetectOnline)->SetBool(false);
    frame.KillTimer(g_iCheckOnlineTimerId);
    frame.UIEnable(ID_FILE_WORK_OFFLINE, TRUE);
    auto offline = [&] { return g_prefs.GetParam(kWorkOffline)->GetBool(); };
    auto offlineChecked = [&] { return (frame.UIGetState(ID_FILE_WORK_OFFLINE) & UPDUI_CHECKED) != 0; };
    const bool offlineWas = offline();
    auto nothing = [] {};

    const bool pageWas = pageEnabled();
    const bool groupWas = groupEnabled();
    const Key keys[] = {
        { "ctrl+shift+n", ID_GROUP_ADD, selectPage, [&] { return lastDialog == 202; } },
        { "ctrl+shift+m", ID_GROUP_MODIFY, selectGroup, [&] { return lastDialog == 202; } },
        { "ctrl+shift+m", ID_GROUP_MODIFY, selectPage,
            [&] { return lastBox == QStringLiteral("Please select group."); } },
        { "ctrl+shift+d", ID_GROUP_DELETE, selectPage,
            [&] { return lastBox == QStringLiteral("Please select group."); } },
        { "ctrl+shift+t", ID_GROUP_TOGGLE, selectGroup, [&] { return groupEnabled() != groupWas; } },
        { "ctrl+shift+t", ID_GROUP_TOGGLE, selectPage,
            [&] { return lastBox == QStringLiteral("Please select group."); } },
        { "ctrl+d", ID_PAGE_DELETE, selectGroup, [&] { return lastBox == QStringLiteral("Please select page."); } },
        { "ctrl+t", ID_PAGE_TOGGLE, selectPage, [&] { return pageEnabled() != pageWas; } },
        { "ctrl+t", ID_PAGE_TOGGLE, selectGroup, [&] { return lastBox == QStringLiteral("Please select page."); } },
        { "ctrl+x", ID_PAGE_CANCEL_STATUS, selectPage,
            [&] { return frame.m_mainTree.GetItemData(frame.FindPage(1, 1)) >> 16 == 3; } },
        { "ctrl+x", ID_PAGE_CANCEL_STATUS, selectGroup,
            [&] { return lastBox == QStringLiteral("Please select page."); } },
        { "ctrl+c", ID_PAGE_COPY_ADDRESS, selectPage,
            [&] { return taluvo::ui::ClipboardText() == QStringLiteral("http://example.test/browser"); } },
        { "ctrl+c", ID_PAGE_COPY_ADDRESS, selectGroup,
            [&] { return lastBox == QStringLiteral("Please select page."); } },
        { "alt+Return", ID_PAGE_PROPERTIES, selectPage, [&] { return lastDialog == 207; } },
        { "alt+Return", ID_PAGE_PROPERTIES, selectGroup,
            [&] { return lastBox == QStringLiteral("Please select page."); } },
        { "F12", ID_FILE_WORK_OFFLINE, nothing,
            [&] { return offline() != offlineWas && offlineChecked() == offline(); } },
        { "F12", ID_FILE_WORK_OFFLINE, nothing,
            [&] { return offline() == offlineWas && offlineChecked() == offline(); } },
    };
    // The keys are pressed from a timer while the main message loop runs: accelerators belong to
    // that loop, as on the desktop.
    int failures = 0;
    size_t next = 0;
    const Key* waiting = nullptr;
    const char* waitingState = "";
    QElapsedTimer since;
    bool busy = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (busy)
            return;
        busy = true;
        if (waiting) {
            const bool reached = waiting->reached();
            if (reached || since.elapsed() > 10000) {
                std::printf("%s (%s): %s\n", waiting->keys, waitingState, reached ? "reached" : "NOT reached");
                failures += reached ? 0 : 1;
                waiting = nullptr;
            }
        } else if (next < std::size(keys)) {
            const Key& key = keys[next++];
            key.select();
            lastBox.clear();
            lastDialog = 0;
            waitingState = disabled(key.command) ? "disabled" : "enabled";
            if (RunXdotool({ "key", "--clearmodifiers", key.keys }) == 0) {
                waiting = &key;
                since.start();
            } else {
                std::printf("%s: xdotool failed\n", key.keys);
                ++failures;
            }
        } else {
            driver.stop();
            frame.DestroyWindow();
        }
        busy = false;
    });
    driver.start(20);
    loop.Run();
    _Module.RemoveMessageLoop();
    return failures == 0 ? 0 : 1;
}
