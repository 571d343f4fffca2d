// dialogs_import_wizard_shots <folder> <database> <empty home>: runs the bookmark import wizard on
// the X server of the environment over the bookmarks below $HOME and saves each page, framed, as
// <folder>/import-source.png and <folder>/import-list.png (Firefox chosen, two rows ticked, the
// second group picked), and prints the widths of the list's columns. Then it runs the wizard again
// over the empty home and saves the list page of each source as <folder>/import-empty-firefox.png
// and import-empty-favorites.png with the note's text. Given a fourth folder, a home whose Firefox
// bookmark has an address longer than the list, it points the real pointer (xdotool) at that
// address and saves the tooltip that shows it whole as <folder>/import-address-tip.png. Exit code
// 0 when all pictures were written.
#include "core/Mutex.h"
#include "core/db/SqlWrapper.h"
#include "dialogs/ImportPropSheet.h"
#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"
#include "tests/platform/ui/WindowShot.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>

#include <cstdio>
#include <cstdlib>
#include <string>
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

// The tooltip Qt shows, when one is on the screen.
QLabel* ShownTip()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && qstrcmp(widget->metaObject()->className(), "QTipLabel") == 0)
            return qobject_cast<QLabel*>(widget);
    return nullptr;
}

// Points at the address cell of the first row and reports the tooltip that comes.
bool CheckAddressTip(HWND sheet, const QString& folder)
{
    HWND list = GetDlgItem(ActivePage(sheet), IDC_IMPORT_BOOKMARKS);
    auto* table = qobject_cast<QTableWidget*>(taluvo::ui::detail::WidgetOf(list));
    if (!table || table->rowCount() < 1) {
        std::printf("address tip: no row listed\n");
        return false;
    }
    const QString address = CListViewCtrl(list).GetItemText(0, 1);
    const QRect cell = table->visualRect(table->model()->index(0, 1));
    const QPoint at = table->viewport()->mapToGlobal(cell.center());
    std::printf("address of %d characters in a cell %d px wide\n", int(address.size()), cell.width());
    taluvo::test::ProcessEventsUntil([] { return false; }, 200);
    std::system(("xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y() + 1)).c_str());
    std::system(("xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y())).c_str());
    taluvo::test::ProcessEventsUntil([] { return ShownTip() != nullptr; }, 8000);
    QLabel* tip = ShownTip();
    if (!tip) {
        std::printf("address tip shown: NO\n");
        return false;
    }
    taluvo::test::ProcessEventsUntil([tip] { return tip->windowHandle() && tip->windowHandle()->isExposed(); });
    QString shown = tip->text();
    shown.remove(QLatin1Char('\n'));
    const QRect where = tip->frameGeometry();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    std::printf("address tip shown: yes\n");
    std::printf("address tip holds the whole address: %s\n", shown == address ? "yes" : "NO");
    std::printf("address tip within the screen: %s (%d,%d %dx%d)\n", screen.contains(where) ? "yes" : "NO", where.x(),
        where.y(), where.width(), where.height());
    RECT frame {};
    GetWindowRect(sheet, &frame);
    const QRect around = QRect(QPoint(frame.left, frame.top), QPoint(frame.right, frame.bottom))
                             .united(where)
                             .adjusted(-30, -40, 30, 30)
                             .intersected(screen);
    const QString path = folder + QStringLiteral("/import-address-tip.png");
    const bool saved = QGuiApplication::primaryScreen()
                           ->grabWindow(0, around.x(), around.y(), around.width(), around.height())
                           .save(path, "PNG");
    std::printf("screenshot %s: %s\n", saved ? "saved" : "NOT saved", qPrintable(path));
    return saved && shown == address && screen.contains(where);
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
    if (argc <= 4)
        return saved == 4 && result == 0 && emptyResult == 0 ? 0 : 1;

    // A home whose one bookmark has an address longer than the list is wide.
    ::setenv("HOME", argv[4], 1);
    bool tipShown = false;
    uitest::ScopedDialogHook longHook([&](HWND sheet, WORD) {
        uitest::Click(GetDlgItem(ActivePage(sheet), IDC_IMPORT_FROM_FIREFOX));
        uitest::PressSheetButton(sheet, PSBTN_NEXT);
        taluvo::test::WaitFramed(sheet);
        tipShown = CheckAddressTip(sheet, folder);
        uitest::PressSheetButton(sheet, PSBTN_CANCEL);
    });
    CImportPropSheet longAddress(&lock, &db, { "Daily news" }, { 1 }, QStringLiteral("Import bookmarks"));
    longAddress.DoModal(nullptr);
    return saved == 4 && tipShown && result == 0 && emptyResult == 0 ? 0 : 1;
}
