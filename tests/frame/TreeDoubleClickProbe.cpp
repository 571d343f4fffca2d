// Runs on a real X server over the database the test prepared (TALUVO_PROBE_DATABASE): the real
// pointer double-clicks, through xdotool, on the parts of the tree's rows, one case after another.
// A double click counts only on a page's label or icon; after every case a double click on a
// sentinel page shows that the case's click was handled before it. Then a page is deleted and the
// database damaged behind the window's back, each through the sqlite3 tool, and the boxes that
// follow a double click are recorded. One line per case; exit code 0 when every case held.
#include "core/Globals.h"
#include "core/prefs/Preferences.h"
#include "frame/mainfrm.h"
#include "platform/shell/ShellHooks.h"
#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/detail/Core.h"
#include "res/resource.h"
#include "tests/frame/ProbeWindow.h"
#include "tests/platform/ui/TrayTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace taluvo::test::tray;
namespace uitest = taluvo::ui::test;

namespace {

// Runs SQL on the database through the sqlite3 tool, a connection of its own.
bool SqliteTool(const QString& database, const std::string& sql)
{
    const std::string command = "sqlite3 -batch '" + database.toStdString() + "' \"" + sql + "\" 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return false;
    char buffer[512];
    std::string output;
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, read);
    const int status = ::pclose(pipe);
    if (!output.empty())
        std::printf("sqlite3: %s", output.c_str());
    return status == 0;
}

// Where in a row the pointer goes: the first client x along the row's middle whose hit test
// gives the flag.
bool PointInRow(CTreeViewCtrl& tree, HTREEITEM item, UINT flag, POINT* screen)
{
    RECT row {};
    if (!tree.GetItemRect(item, &row, FALSE))
        return false;
    RECT client {};
    tree.GetClientRect(&client);
    const int y = (row.top + row.bottom) / 2;
    for (int x = client.left; x < client.right; ++x) {
        UINT flags = 0;
        if (tree.HitTest(POINT { x, y }, &flags) == item && (flags & flag)) {
            // A few pixels into the part, so the pointer is well inside it.
            UINT further = 0;
            const int inside = tree.HitTest(POINT { x + 3, y }, &further) == item && (further & flag) ? x + 3 : x;
            *screen = POINT { inside, y };
            tree.ClientToScreen(screen);
            return true;
        }
    }
    return false;
}

// Counts the double clicks the application received. The tree's handler asks where the pointer
// is now, so a click is made only once the one before it has been handled.
class DoubleClickCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick)
            ++count;
        return false;
    }
};

void DoubleClickAt(POINT screen)
{
    RunXdotool({ "mousemove", std::to_string(screen.x), std::to_string(screen.y) });
    RunXdotool({ "click", "--repeat", "2", "--delay", "80", "1" });
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
    const QString database = QString::fromLocal8Bit(qgetenv("TALUVO_PROBE_DATABASE"));
    const QString artefacts = QString::fromLocal8Bit(qgetenv("TALUVO_PROBE_ARTEFACTS"));
    std::vector<QString> opened;
    taluvo::shell::SetRequestHook([&opened](const taluvo::shell::Request& request) {
        if (request.kind == taluvo::shell::RequestKind::RunProgram)
            opened.push_back(request.arguments.isEmpty() ? QString() : request.arguments.last());
        return true;
    });
    std::vector<QString> boxes;
    uitest::ScopedMessageBoxHook answer([&boxes](const uitest::MessageBoxRequest& r) {
        boxes.push_back(r.caption + QStringLiteral(": ") + r.text);
        return IDOK;
    });

    DoubleClickCounter doubleClicks;
    QCoreApplication::instance()->installEventFilter(&doubleClicks);
    int doubleClicksBefore = 0;
    auto clickThere = [&](POINT where) {
        doubleClicksBefore = doubleClicks.count;
        DoubleClickAt(where);
    };
    auto clickHandled = [&] { return doubleClicks.count > doubleClicksBefore; };

    CMessageLoop loop;
    CMainFrame frame;
    if (const int failed = ShowProbeWindow(loop, frame))
        return failed;
    frame.SetWindowPos(nullptr, 80, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    g_prefs.GetParam(kUseDefaultBrowser)->SetBool(false);
    g_prefs.GetParam(kUserBrowserPath)->SetString(QStringLiteral("/nonexistent/browser --new-window"));
    g_prefs.GetParam(kBrowserResetNewStatus)->SetBool(false);
    CTreeViewCtrl& tree = frame.m_mainTree;
    tree.Expand(frame.FindGroup(1), TVE_EXPAND);
    tree.Expand(frame.FindGroup(2), TVE_EXPAND);

    int failures = 0;
    auto check = [&failures](bool ok, const std::string& what) {
        std::printf("%s: %s\n", what.c_str(), ok ? "yes" : "NO");
        failures += ok ? 0 : 1;
    };
    const QString daily = QStringLiteral("http://browser.test/daily");
    const QString sentinel = QStringLiteral("http://browser.test/scores");

    struct Case {
        const char* name;
        std::function<HTREEITEM()> item;
        UINT part;
        bool opens;
    };
    auto page1 = [&] { return frame.FindPage(1, 1); };
    auto group1 = [&] { return frame.FindGroup(1); };
    const Case cases[] = {
        { "page label", page1, TVHT_ONITEMLABEL, true },
        { "page icon", page1, TVHT_ONITEMICON, true },
        { "right of the page label", page1, TVHT_ONITEMRIGHT, false },
        { "page indent", page1, TVHT_ONITEMINDENT, false },
        { "group expand button", group1, TVHT_ONITEMBUTTON, false },
        { "group label", group1, TVHT_ONITEMLABEL, false },
    };

    // The steps run from a timer while the main message loop runs, so the pointer's clicks take
    // the road they take on a desktop.
    std::vector<std::function<bool()>> steps;
    size_t openedBefore = 0;
    size_t boxesBefore = 0;
    bool groupWasExpanded = false;
    for (const Case& c : cases) {
        steps.push_back([&, c] {
            openedBefore = opened.size();
            groupWasExpanded = (tree.GetItemState(group1(), TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
            POINT where {};
            if (!PointInRow(tree, c.item(), c.part, &where)) {
                check(false, std::string(c.name) + ": found on the screen");
                return true;
            }
            std::printf("%s at %d,%d\n", c.name, int(where.x), int(where.y));
            clickThere(where);
            return true;
        });
        steps.push_back(clickHandled);
        // The sentinel: handled after the case's click, so the case has had its effect by then.
        steps.push_back([&] {
            POINT where {};
            if (PointInRow(tree, frame.FindPage(2, 3), TVHT_ONITEMLABEL, &where))
                clickThere(where);
            return true;
        });
        steps.push_back(clickHandled);
        steps.push_back([&, c] {
            if (opened.empty() || opened.back() != sentinel)
                return false;
            std::vector<QString> expected;
            if (c.opens)
                expected.push_back(daily);
            expected.push_back(sentinel);
            const std::vector<QString> got(opened.begin() + long(openedBefore), opened.end());
            check(got == expected, std::string(c.name) + (c.opens ? ": opens the page" : ": opens nothing"));
            if (got != expected)
                for (const QString& address : got)
                    std::printf("  opened %s\n", qPrintable(address));
            if (c.part == TVHT_ONITEMLABEL && c.item() == group1()) {
                const bool expanded = (tree.GetItemState(group1(), TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
                check(expanded != groupWasExpanded, "group label: the group opened or closed");
            }
            return true;
        });
    }
    steps.push_back([&] {
        if (!artefacts.isEmpty()) {
            QDir().mkpath(artefacts);
            const QString path = artefacts + QStringLiteral("/tree-double-click.png");
            const bool saved = taluvo::ui::detail::WidgetOf(frame)->grab().save(path, "PNG");
            std::printf("screenshot %s: %s\n", saved ? "saved" : "NOT saved", qPrintable(path));
        }
        tree.Expand(group1(), TVE_EXPAND);
        return true;
    });

    // A page deleted behind the tree's back: its item is still there, its row is not.
    POINT gone {};
    steps.push_back([&] {
        check(SqliteTool(database, "DELETE FROM PAGES WHERE id = 2;"), "page 2 deleted by another connection");
        boxesBefore = boxes.size();
        openedBefore = opened.size();
        if (!PointInRow(tree, frame.FindPage(1, 2), TVHT_ONITEMLABEL, &gone)) {
            check(false, "the deleted page's item is on the screen");
            return true;
        }
        clickThere(gone);
        return true;
    });
    steps.push_back([&] { return boxes.size() > boxesBefore; });
    steps.push_back([&] {
        check(boxes.back() == QStringLiteral("Error: Unable to find page in database."),
            "deleted page: \"" + boxes.back().toStdString() + "\"");
        check(opened.size() == openedBefore, "deleted page: nothing opened");
        return true;
    });

    // A damaged database: the table's root page points past the end of the file.
    steps.push_back([&] {
        check(SqliteTool(database,
                  "PRAGMA writable_schema = ON; UPDATE sqlite_master SET rootpage = 99999 WHERE name = 'PAGES'; "
                  "PRAGMA writable_schema = OFF; PRAGMA schema_version = 4242;"),
            "database damaged by another connection");
        boxesBefore = boxes.size();
        openedBefore = opened.size();
        POINT where {};
        if (PointInRow(tree, frame.FindPage(1, 1), TVHT_ONITEMLABEL, &where))
            clickThere(where);
        return true;
    });
    steps.push_back([&] { return boxes.size() > boxesBefore; });
    steps.push_back([&] {
        check(boxes.back().startsWith(QStringLiteral("Error: SQL Error. ")),
            "damaged database: \"" + boxes.back().toStdString() + "\"");
        check(opened.size() == openedBefore, "damaged database: nothing opened");
        frame.DestroyWindow();
        return true;
    });

    QElapsedTimer since;
    RunProbeSteps(loop, frame, steps, since, failures);
    _Module.RemoveMessageLoop();
    taluvo::shell::SetRequestHook({});
    return failures == 0 ? 0 : 1;
}
