// dialogs_page_shots <folder>: runs the page address, page modify, content-selection and properties
// dialogs on the X server of the environment, each filled as a user would see it, and saves each
// window with its frame as <folder>/<name>.png. For the content dialog it also counts the pixels of the page
// text drawn in the three marking colours. One line per dialog; exit code 0 when all were saved.
#include "dialogs/PageAddDlg.h"
#include "dialogs/PageModifyDlg.h"
#include "dialogs/PagePropertiesDlg.h"
#include "dialogs/SearchContentDlg.h"

#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "res/DialogIds.h"
#include "res/resource.h"
#include "tests/platform/ui/WindowShot.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <cstdio>

namespace {

QString g_folder;
int g_failures = 0;

// Pixels of a saturated colour: its own channel strong, the other two weak.
struct MarkCounts {
    int green = 0, blue = 0, red = 0;
};
MarkCounts CountMarks(const QImage& image)
{
    MarkCounts counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int r = qRed(p), g = qGreen(p), b = qBlue(p);
            counts.green += g > 150 && r < 90 && b < 90;
            counts.blue += b > 150 && r < 90 && g < 90;
            counts.red += r > 150 && g < 90 && b < 90;
        }
    return counts;
}

// Saves the dialog framed and painted, and returns the picture of the window.
QImage Shoot(HWND dialog, const char* name)
{
    const QPixmap pixels = taluvo::test::GrabFramed(dialog);
    const QString path = g_folder + QLatin1Char('/') + QLatin1String(name);
    if (!pixels.save(path)) {
        std::printf("%s: not written\n", qPrintable(path));
        ++g_failures;
    } else {
        std::printf("screenshot saved: %s (%dx%d)\n", qPrintable(path), pixels.width(), pixels.height());
    }
    return pixels.toImage();
}

// The edit's pixels on the screen as it shows them now.
QImage EditPixels(HWND edit)
{
    QWidget* widget = taluvo::ui::detail::WidgetOf(edit);
    widget->repaint();
    QCoreApplication::processEvents();
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, origin.x(), origin.y(), widget->width(), widget->height())
        .toImage();
}

// A read-only field as the program filled it, against the same field with its caret put at the
// start and at the end of the text: a field shows its text from the start; one whose text must
// fit shows the same at both ends, one with a longer text scrolls to its end. (The field that has
// the focus shows its text selected, as focus given by the dialog does everywhere.)
void CheckReadOnlyField(HWND dialog, int id, const char* name, bool mustFit)
{
    const HWND edit = GetDlgItem(dialog, id);
    const QImage shown = EditPixels(edit);
    ::SendMessage(edit, EM_SETSEL, 0, 0);
    const QImage start = EditPixels(edit);
    const auto length = static_cast<LPARAM>(::GetWindowTextLength(edit));
    ::SendMessage(edit, EM_SETSEL, static_cast<WPARAM>(length), length);
    const QImage end = EditPixels(edit);
    ::SendMessage(edit, EM_SETSEL, 0, 0);
    RECT rect {};
    ::GetWindowRect(edit, &rect);
    std::printf("%s field: %d px wide\n", name, int(rect.right - rect.left));
    auto verdict = [](bool ok) { return ok ? "yes" : "NO"; };
    std::printf("%s shown from its start: %s\n", name, verdict(!shown.isNull() && shown == start));
    if (mustFit)
        std::printf("%s shown whole: %s\n", name, verdict(start == end));
    else
        std::printf("%s scrolls to its end: %s\n", name, verdict(start != end));
    g_failures += shown == start && (mustFit ? start == end : start != end) ? 0 : 1;
}

const QString kPage = QStringLiteral(
    "<html>\n<head><title>Daily prices</title></head>\n<body>\n<h1>Prices</h1>\n<table>\n"
    "<tr><td>tea</td><td>3.20</td></tr>\n<tr><td>milk</td><td>1.10</td></tr>\n"
    "<tr><td>bread</td><td>2.40</td></tr>\n</table>\n<p>Updated every morning.</p>\n</body>\n</html>\n");

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: dialogs_page_shots <folder>\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    g_folder = QString::fromLocal8Bit(argv[1]);
    int one = 1;
    taluvo::ui::CUiApplication app(one, argv);
    taluvo::res::RegisterResources();

    SPageCtx ctx;
    ctx.Reset();
    ctx.m_strHtml = kPage;
    ctx.m_strStartCheckMask = QStringLiteral("<table>");
    ctx.m_strStopCheckMask = QStringLiteral("</table>");

    taluvo::ui::test::ScopedDialogHook hook([&](HWND dlg, WORD id) {
        if (id == IDD_PAGE_ADD) {
            Shoot(dlg, "page-address-dialog.png");
        } else if (id == IDD_PAGE_PROPERTIES) {
            Shoot(dlg, "page-properties-dialog.png");
            // Away from the fields, whose focus would select their text.
            ::SetFocus(GetDlgItem(dlg, IDOK));
            CheckReadOnlyField(dlg, IDC_PROP_STATUS, "status", false);
            CheckReadOnlyField(dlg, IDC_PROP_CHECK_DUE_IN, "check due in", true);
        } else if (id == IDD_PAGE_MODIFY) {
            Shoot(dlg, "page-modify-dialog.png");
        } else if (id == IDD_SEARCH_CONTENT) {
            // Larger than its first size, as a user makes it to see more of the page.
            RECT r;
            GetWindowRect(dlg, &r);
            SetWindowPos(dlg, nullptr, r.left, r.top, r.right - r.left + 80, r.bottom - r.top + 40, SWP_NOZORDER);
            const QImage image = Shoot(dlg, "content-selection-dialog.png");
            const MarkCounts marks = CountMarks(image);
            std::printf("marking pixels: green %d, blue %d, red %d\n", marks.green, marks.blue, marks.red);
        }
        ::EndDialog(dlg, IDCANCEL);
    });

    CPageAddDlg address;
    address.m_pPageCtx = &ctx;
    address.m_strUrl = QStringLiteral("http://www.example.com/News/Today.html");
    address.DoModal(nullptr, CPageAddDlg::modeAddPage);

    CPageModifyDlg modify;
    modify.m_pPageCtx = &ctx;
    modify.m_strUrl = QStringLiteral("http://www.example.com/News/Today.html");
    modify.m_strUrlBrowser = QStringLiteral("http://www.example.com/News/");
    modify.m_strDescr = QStringLiteral("Daily prices");
    modify.m_nInterval = 90060;
    modify.DoModal(nullptr, 0);

    CSearchContentDlg content(&ctx);
    content.DoModal(nullptr, reinterpret_cast<LPARAM>(&modify));

    CPagePropertiesDlg properties;
    properties.m_strUrl = QStringLiteral(
        "http://www.example.com/News/Today.html?edition=morning&region=north&section=prices&layout=full&lang=en");
    properties.m_strDescr = QStringLiteral("Daily prices");
    // An error's text, longer than its field.
    properties.m_strStatus = QStringLiteral(
        "The server name or address could not be resolved while the page was fetched, so it is checked again later");
    properties.m_strHttpCode = QStringLiteral("200");
    properties.m_strInterval = QStringLiteral("31 days, 23 hours, 59 minutes");
    properties.m_strLastChecked = QStringLiteral("11.12.2026 05:30:12");
    properties.m_strLastModified = QStringLiteral("10.12.2026 22:04:51");
    properties.m_strCheckDue = QStringLiteral("12.12.2026 06:31:12");
    // The longest the field is given: the longest interval, just checked.
    properties.m_strCheckDueIn = QStringLiteral("31 days, 23 hours, 59 minutes from now");
    properties.m_strCheckSum = QStringLiteral("0x5A1C93E2");
    properties.m_strStartCheck = QStringLiteral("<table>");
    properties.m_strStopCheck = QStringLiteral("</table>");
    properties.DoModal(nullptr);
    return g_failures == 0 ? 0 : 1;
}
