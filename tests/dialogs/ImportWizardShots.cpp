// dialogs_import_wizard_shots <folder> <database> <empty home>: runs the bookmark import wizard on
// the X server of the environment over the bookmarks below $HOME and saves each page, framed, as
// <folder>/import-source.png and <folder>/import-list.png (Firefox chosen, two rows ticked, the
// second group picked), and prints the widths of the list's columns. Then it runs the wizard again
// over the empty home and saves the list page of each source as <folder>/import-empty-firefox.png
// and import-empty-favorites.png with the note's text. Exit code 0 when all four were written.
#include "core/Mutex.h"
#include "core/db/SqlWrapper.h"
#include "dialogs/ImportPropSheet.h"
#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"
#include "tests/platform/ui/WindowShot.h"

#include <QAbstractScrollArea>
#include <QScrollBar>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace uitest = taluvo::ui::test;

namespace {

bool Save(HWND sheet, const QString& path)
{
    const bool saved = taluvo::test::GrabFramed(sheet).save(path, "PNG");
    std::printf("screenshot %s: %s\n", saved ? "saved" : "NOT saved", qPrintable(path));
    return saved;
}

HWND ActivePage(HWND sheet)
{
    return reinterpret_cast<HWND>(SendMessage(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 3) {
        std::fprintf(stderr, "usage: dialogs_import_wizard_shots <folder> <database>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    int one = 1;
    taluvo::ui::CUiApplication app(one, argv);
    if (app.Headless()) {
        std::printf("no X display\n");
        return 3;
    }
    taluvo::res::RegisterResources();
    CSqlDatabase db;
    db.open(argv[2]);
    CMutex lock;

    int saved = 0;
    uitest::ScopedDialogHook hook([&](HWND sheet, WORD) {
        saved += Save(sheet, folder + QStringLiteral("/import-source.png")) ? 1 : 0;
        HWND sourcePage = ActivePage(sheet);
        uitest::Click(GetDlgItem(sourcePage, IDC_IMPORT_FROM_FIREFOX));
        uitest::PressSheetButton(sheet, PSBTN_NEXT);
        HWND page = ActivePage(sheet);
        HWND list = GetDlgItem(page, IDC_IMPORT_BOOKMARKS);
        uitest::CheckListRow(list, 0, true);
        uitest::CheckListRow(list, 3, true);
        uitest::SelectComboItem(GetDlgItem(page, IDC_IMPORT_GROUP), 1);
        std::printf("rows listed: %d\n", CListViewCtrl(list).GetItemCount());
        std::printf("source page visible: %s, list page visible: %s\n", IsWindowVisible(sourcePage) ? "yes" : "no",
            IsWindowVisible(page) ? "yes" : "no");
        saved += Save(sheet, folder + QStringLiteral("/import-list.png")) ? 1 : 0;
        // The columns as shown, and what the addresses need to be shown whole.
        CListViewCtrl view(list);
        auto* area = qobject_cast<QAbstractScrollArea*>(taluvo::ui::detail::WidgetOf(list));
        const int name = view.GetColumnWidth(0);
        const int url = view.GetColumnWidth(1);
        std::printf(
            "horizontal scroll bar: %s\n", area && area->horizontalScrollBar()->isVisible() ? "shown" : "hidden");
        view.SetColumnWidth(1, LVSCW_AUTOSIZE);
        std::printf("columns: name %d, url %d, list %d, addresses need %d\n", name, url,
            area ? area->viewport()->width() : -1, view.GetColumnWidth(1));
        uitest::PressSheetButton(sheet, PSBTN_CANCEL);
    });
    CImportPropSheet sheet(&lock, &db, { "Daily news", "Sports" }, { 1, 2 }, QStringLiteral("Import bookmarks"));
    const INT_PTR result = sheet.DoModal(nullptr);
    std::printf("wizard result: %d\n", int(result));

    // A home where no browser left anything: each source says in the list's place where it looked.
    if (argc > 3)
        ::setenv("HOME", argv[3], 1);
    uitest::ScopedDialogHook emptyHook([&](HWND sheet, WORD) {
        const std::pair<int, const char*> sources[]
            = { { IDC_IMPORT_FROM_FIREFOX, "firefox" }, { IDC_IMPORT_FROM_IE, "favorites" } };
        for (const auto& [radio, name] : sources) {
            uitest::Click(GetDlgItem(ActivePage(sheet), radio));
            uitest::PressSheetButton(sheet, PSBTN_NEXT);
            HWND page = ActivePage(sheet);
            HWND note = GetDlgItem(page, IDC_IMPORT_EMPTY_NOTE);
            std::printf("%s: note shown: %s, list shown: %s\n", name, IsWindowVisible(note) ? "yes" : "no",
                IsWindowVisible(GetDlgItem(page, IDC_IMPORT_BOOKMARKS)) ? "yes" : "no");
            std::printf("%s note: <%s>\n", name, qPrintable(GetWindowText(note)));
            saved
                += Save(sheet, folder + QStringLiteral("/import-empty-%1.png").arg(QString::fromLatin1(name))) ? 1 : 0;
            uitest::PressSheetButton(sheet, PSBTN_BACK);
            // The source page enables Next through a posted message.
            MSG msg;
            while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessage(&msg);
        }
        uitest::PressSheetButton(sheet, PSBTN_CANCEL);
    });
    CImportPropSheet empty(&lock, &db, { "Daily news" }, { 1 }, QStringLiteral("Import bookmarks"));
    const INT_PTR emptyResult = empty.DoModal(nullptr);
    return saved == 4 && result == 0 && emptyResult == 0 ? 0 : 1;
}
