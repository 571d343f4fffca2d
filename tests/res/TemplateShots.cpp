// res_template_shots <folder> [dialog id to leave out ...]: shows every dialog template of the program on the X server
// of the environment, one at a time, and saves each window with its frame as <folder>/dialog-<id>.png. Option and
// wizard pages are shown as dialogs of their own, captioned with their tab titles.
#include "platform/base/KernelObjects.h"
#include "platform/ui/Application.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/detail/Core.h"
#include "res/DialogIds.h"
#include "res/resource.h"
#include "tests/platform/ui/WindowShot.h"

#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

struct Shot {
    WORD id;
    const char16_t* pageTitle; // pages only
};

const Shot kShots[] = {
    { IDD_ABOUTBOX, nullptr },
    { IDD_GROUP, nullptr },
    { IDD_PAGE_ADD, nullptr },
    { IDD_PAGE_MODIFY, nullptr },
    { IDD_PAGE_PROPERTIES, nullptr },
    { IDD_SEARCH_CONTENT, nullptr },
    { IDD_EMAIL_TEST, nullptr },
    { IDD_CRASH_REPORT, nullptr },
    { IDD_UPDATE_ALERTS, u"Update alerts" },
    { IDD_ERROR_ALERTS, u"Error alerts" },
    { IDD_LOGGING, u"Logging" },
    { IDD_CONNECTIONS, u"Connection" },
    { IDD_PROXY_SERVER, u"Proxy settings" },
    { IDD_VISUAL_SETTINGS, u"Visual settings" },
    { IDD_WEB_BROWSER, u"Web browser" },
    { IDD_DEFAULT_INTERVAL, u"Default Interval" },
    { IDD_SMTP_NOTIFY, u"SMTP Notifications" },
    { IDD_AUTOMATION, u"Automation" },
    { IDD_MISC, u"Miscellaneous" },
    { IDD_IMPORT_SOURCE, u"Select import source" },
    { IDD_IMPORT_LIST, u"Import bookmarks" },
};

INT_PTR NoDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The template to show: a page becomes a top-level dialog of the same size under a spare id.
WORD ShownTemplate(const Shot& shot)
{
    if (!shot.pageTitle)
        return shot.id;
    taluvo::ui::DialogTemplate copy = *taluvo::ui::FindDialogTemplate(shot.id);
    copy.id = static_cast<WORD>(0xE000 + shot.id);
    copy.caption = shot.pageTitle;
    copy.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    taluvo::ui::RegisterDialogTemplate(copy);
    return copy.id;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: res_template_shots <folder> [dialog id to leave out ...]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    std::set<int> leftOut;
    for (int i = 2; i < argc; ++i)
        leftOut.insert(std::atoi(argv[i]));
    int one = 1;
    taluvo::ui::CUiApplication app(one, argv);
    taluvo::res::RegisterResources();
    int failures = 0;
    for (const Shot& shot : kShots) {
        if (leftOut.count(shot.id))
            continue;
        const HWND dialog = CreateDialogParam(nullptr, MAKEINTRESOURCE(ShownTemplate(shot)), nullptr, NoDialogProc, 0);
        if (!dialog) {
            std::printf("dialog %d: cannot be made (error %u)\n", shot.id, GetLastError());
            ++failures;
            continue;
        }
        ShowWindow(dialog, SW_SHOW);
        const QPixmap pixels = taluvo::test::GrabFramed(dialog);
        QWidget* window = taluvo::ui::detail::WidgetOf(dialog);
        const QRect frame = window->frameGeometry();
        const QString path = folder + QStringLiteral("/dialog-%1.png").arg(shot.id);
        if (!pixels.save(path)) {
            std::printf("dialog %d: %s not written\n", shot.id, qPrintable(path));
            ++failures;
        } else {
            std::printf("dialog %d: %dx%d client, %dx%d framed\n", shot.id, window->width(), window->height(),
                frame.width(), frame.height());
        }
        DestroyWindow(dialog);
        QCoreApplication::processEvents();
    }
    return failures == 0 ? 0 : 1;
}
