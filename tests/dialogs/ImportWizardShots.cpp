// dialogs_import_wizard_shots <folder> <database>: runs the bookmark import wizard on the X server of
// the environment over the bookmarks below $HOME and saves each page, framed, as
// <folder>/import-source.png and <folder>/import-list.png (Firefox chosen, two rows ticked, the
// second group picked). The wizard is then cancelled. Exit code 0 when both were written.
#include "core/Mutex.h"
#include "core/db/SqlWrapper.h"
#include "dialogs/ImportPropSheet.h"
#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"
#include "tests/platform/ui/WindowShot.h"

#include <cstdio>

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
        uitest::PressSheetButton(sheet, PSBTN_CANCEL);
    });
    CImportPropSheet sheet(&lock, &db, { "Daily news", "Sports" }, { 1, 2 }, QStringLiteral("Import bookmarks"));
    const INT_PTR result = sheet.DoModal(nullptr);
    std::printf("wizard result: %d\n", int(result));
    return saved == 2 && result == 0 ? 0 : 1;
}
