// The page address, page modify and content-selection dialogs run modally on the offscreen
// platform, driven through the dialog hook as a user would, their downloads served by a loopback
// page server.
#include "dialogs/PageAddDlg.h"
#include "dialogs/PageModifyDlg.h"
#include "dialogs/SearchContentDlg.h"

#include "core/Globals.h"
#include "core/InternetHandle.h"
#include "core/InternetUtils.h"
#include "core/prefs/Preferences.h"
#include "engine/HttpTexts.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Menu.h"
#include "platform/ui/RichEdit.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>

using namespace taluvo::test;
using taluvo::ui::test::Click;
using taluvo::ui::test::ScopedDialogHook;
using taluvo::ui::test::ScopedMessageBoxHook;
using taluvo::ui::test::ScrollControl;
using taluvo::ui::test::TypeText;

namespace {

const QString kPrices
    = QStringLiteral("<html>\n<p>Prices</p>\n<ul><li>tea 3</li><li>milk 2</li></ul>\n<p>End of list</p>\n</html>\n");

bool Serve(const std::function<bool()>& condition)
{
    return WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return condition();
        },
        std::chrono::seconds(30));
}

class PageDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        EnsureUiApplication();
        taluvo::res::RegisterResources();
        s_dir = new TempDir;
        s_server = new PageServer(*s_dir, "pages");
        QJsonObject slow;
        slow[QStringLiteral("hang")] = true;
        s_server->SetRoutes({
            { QStringLiteral("/title"),
                Page(QStringLiteral("<HTML><HEAD><TITLE>  Big News \t</TITLE></HEAD>"
                                    "<BODY>Start here: the news. Stop.</BODY></HTML>")) },
            { QStringLiteral("/frames"),
                Page(QStringLiteral("<html><title>Frames</title><FRAMESET cols=\"50%,50%\">"
                                    "</FRAMESET></html>")) },
            { QStringLiteral("/empty"), Page(QString()) },
            { QStringLiteral("/slow"), slow },
            { QStringLiteral("/prices"), Page(kPrices) },
            { QStringLiteral("/dripping"),
                QJsonObject { { QStringLiteral("drip"), 0.05 }, { QStringLiteral("drip_bytes"), 30 } } },
        });
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_dir;
    }

    void SetUp() override
    {
        g_hInternet = InternetOpen(u"Taluvo", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
        InternetSetStatusCallback(g_hInternet.Get(), &CUpdater::WinInetCallback);
        g_prefs.GetParam(kWorkOffline)->SetBool(false);
        g_prefs.GetParam(kAutoDownloadOnline)->SetBool(true);
        g_prefs.GetParam(kAutoSetDescr)->SetBool(true);
        g_prefs.GetParam(kAutoCheckFrames)->SetBool(true);
        g_prefs.GetParam(kReportEmptyPages)->SetBool(true);
        m_boxes = std::make_unique<ScopedMessageBoxHook>([this](const taluvo::ui::test::MessageBoxRequest& r) {
            m_messages.push_back(r.caption + QStringLiteral(": ") + r.text);
            return IDOK;
        });
    }
    void TearDown() override
    {
        m_boxes.reset();
        g_hInternet.Close();
        taluvo::inet::WaitForRunningRequests(5000);
        EXPECT_TRUE(CWorkerThread::WaitForAllWorkers(10000));
    }

    static QString Url(const char* path) { return s_server->Url(QString::fromLatin1(path)); }

    static inline TempDir* s_dir = nullptr;
    static inline PageServer* s_server = nullptr;
    std::vector<QString> m_messages;
    std::unique_ptr<ScopedMessageBoxHook> m_boxes;
};

// What the address dialog showed and ended with, for an address typed and OK pressed once.
struct AddressRun {
    INT_PTR result = 0;
    QString progressAfterFirstOk;
    QString url;
    QString descr;
};

AddressRun RunAddressDialog(SPageCtx& ctx, const QString& typed, const std::function<void(HWND)>& afterFirstOk = {})
{
    AddressRun run;
    CPageAddDlg dlg;
    dlg.m_pPageCtx = &ctx;
    ScopedDialogHook hook([&](HWND d, WORD id) {
        if (id != IDD_PAGE_ADD)
            return;
        ::SetDlgItemText(d, IDC_PAGE_URL, typed);
        Click(::GetDlgItem(d, IDOK));
        if (afterFirstOk)
            afterFirstOk(d);
    });
    run.result = dlg.DoModal(nullptr, CPageAddDlg::modeAddPage);
    run.url = dlg.m_strUrl;
    run.descr = dlg.m_strDescr;
    return run;
}

TEST_F(PageDialogs, TestDownloadTakesTheTitleWarnsOfFramesAndStoresItsCheckInTheContext)
{
    SPageCtx ctx;
    ctx.Reset();
    // A title in capitals with blanks around it; the typed address keeps its port.
    const QString typed = QStringLiteral("  HTTP://127.0.0.1:%1/title ").arg(s_server->Port());
    AddressRun run = RunAddressDialog(ctx, typed);
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(run.url, Url("/title"));
    EXPECT_EQ(run.descr, QStringLiteral("Big News"));
    EXPECT_EQ(ctx.m_dwHttpStatusCode, 200u);
    EXPECT_EQ(ctx.m_iStatus, statusOrdinary);
    EXPECT_NE(ctx.m_dwCheckSum, kNoChecksum);
    EXPECT_NE(ctx.m_tLastChecked, kNoTime);
    EXPECT_EQ(ctx.m_pUpdater, nullptr) << "the worker deletes itself; the context must forget it";
    EXPECT_TRUE(m_messages.empty());

    SPageCtx frames;
    frames.Reset();
    run = RunAddressDialog(frames, Url("/frames"));
    EXPECT_EQ(run.result, IDOK);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("Warining: The web page you have specified contains a "
                                                        "\"Frameset\" HTML tag")))
        << m_messages[0].toStdString();

    // An empty body is a page without a title: the description comes back empty.
    SPageCtx empty;
    empty.Reset();
    run = RunAddressDialog(empty, Url("/empty"));
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(run.descr, QString());
}

TEST_F(PageDialogs, AMissingPageShowsItsStatusAndASecondOkAcceptsTheAddress)
{
    SPageCtx ctx;
    ctx.Reset();
    QString shown;
    const AddressRun run = RunAddressDialog(ctx, Url("/missing"), [&](HWND d) {
        ASSERT_TRUE(Serve([&] { return ::IsWindowEnabled(::GetDlgItem(d, IDOK)); }));
        shown = ::GetDlgItemText(d, IDC_PAGE_PROGRESS);
        Click(::GetDlgItem(d, IDOK));
    });
    EXPECT_EQ(shown, GetHttpStatusText(404));
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(run.descr, Url("/missing"));
    EXPECT_EQ(ctx.m_dwHttpStatusCode, 404u);
}

TEST_F(PageDialogs, CancelDuringASlowPageWaitsForTheWorkerAndEndsWithTheCancelError)
{
    SPageCtx ctx;
    ctx.Reset();
    QString terminating, ended;
    bool okDisabledWhileTesting = false;
    const AddressRun run = RunAddressDialog(ctx, Url("/slow"), [&](HWND d) {
        okDisabledWhileTesting = !::IsWindowEnabled(::GetDlgItem(d, IDOK));
        ASSERT_TRUE(Serve([&] { return ::GetDlgItemText(d, IDC_PAGE_PROGRESS) == QStringLiteral("Connected."); }));
        Click(::GetDlgItem(d, IDCANCEL));
        terminating = ::GetDlgItemText(d, IDC_PAGE_PROGRESS);
        // The dialog stays open until the worker has ended.
        EXPECT_TRUE(::IsWindow(d));
        ASSERT_TRUE(Serve([&] { return ::IsWindowEnabled(::GetDlgItem(d, IDCANCEL)); }));
        ended = ::GetDlgItemText(d, IDC_PAGE_PROGRESS);
        Click(::GetDlgItem(d, IDCANCEL));
    });
    EXPECT_TRUE(okDisabledWhileTesting);
    EXPECT_EQ(terminating, QStringLiteral("Terminating ..."));
    EXPECT_EQ(ended, GetInternetErrorText(1223));
    EXPECT_EQ(ctx.m_dwErrorCode, 1223u);
    EXPECT_EQ(ctx.m_iStatus, statusError);
    EXPECT_EQ(run.result, IDCANCEL);
}

TEST_F(PageDialogs, OfflineOkClosesAtOnceWithTheAddressAsDescription)
{
    g_prefs.GetParam(kWorkOffline)->SetBool(true);
    SPageCtx ctx;
    ctx.Reset();
    const AddressRun run = RunAddressDialog(ctx, QStringLiteral("Example.COM/News"));
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(run.url, QStringLiteral("http://example.com/News"));
    EXPECT_EQ(run.descr, run.url);
    EXPECT_EQ(ctx.m_iStatus, statusUnknown);
    EXPECT_EQ(ctx.m_dwCheckSum, kNoChecksum);

    // An empty box is refused with the whole text of the failure, and the dialog stays open.
    bool stillOpen = false;
    SPageCtx other;
    other.Reset();
    RunAddressDialog(other, QString(), [&](HWND d) {
        stillOpen = ::IsWindow(d) != FALSE;
        Click(::GetDlgItem(d, IDCANCEL));
    });
    EXPECT_TRUE(stillOpen);
    ASSERT_FALSE(m_messages.empty());
    EXPECT_TRUE(m_messages.back().startsWith(QStringLiteral("Error: Url is empty.\nFile: ")))
        << m_messages.back().toStdString();
}

// Python's zlib.crc32 of bytes [first, last) of a file.
DWORD PythonCrc32(const std::string& path, qsizetype first, qsizetype last)
{
    const std::string command = "/usr/bin/python3 -c \"import sys,zlib;d=open(sys.argv[1],'rb').read();"
                                "print(zlib.crc32(d[int(sys.argv[2]):int(sys.argv[3])]))\" "
        + path + " " + std::to_string(first) + " " + std::to_string(last);
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return 0;
    char line[64] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    return read ? static_cast<DWORD>(std::stoul(line)) : 0;
}

TEST_F(PageDialogs, ContentDialogMarksTheTextsAndTakesTheChecksumOfTheCutPart)
{
    const QString& body = kPrices;
    const std::string fixture = s_dir->File("prices.html");
    WriteFile(fixture, body.toStdString());

    SPageCtx ctx;
    ctx.Reset();
    ctx.m_dwCheckSum = 0x1234;
    ctx.m_iStatus = statusNew;
    CPageModifyDlg owner;
    owner.m_strUrl = Url("/prices");
    CSearchContentDlg dlg(&ctx);
    int startPos = -2, stopPos = -2;
    QString shown;
    ScopedDialogHook hook([&](HWND d, WORD id) {
        if (id != IDD_SEARCH_CONTENT)
            return;
        // Opening with an empty context downloads the page.
        ASSERT_TRUE(
            Serve([&] { return !dlg.IsDownloading() && ::IsWindowEnabled(::GetDlgItem(d, IDC_DOWNLOAD_PAGE)); }));
        shown = CWindow(::GetDlgItem(d, IDC_PAGE_TEXT)).GetWindowText();
        Click(::GetDlgItem(d, IDC_START_FROM_TEXT));
        TypeText(::GetDlgItem(d, IDC_START_TEXT), QStringLiteral("<ul>"));
        Click(::GetDlgItem(d, IDC_STOP_AT_TEXT));
        TypeText(::GetDlgItem(d, IDC_STOP_TEXT), QStringLiteral("</ul>"));
        startPos = dlg.m_iStartPos;
        stopPos = dlg.m_iStopPos;
        Click(::GetDlgItem(d, IDOK));
    });
    dlg.DoModal(nullptr, reinterpret_cast<LPARAM>(&owner));
    EXPECT_EQ(shown, body);
    EXPECT_EQ(startPos, body.indexOf(QStringLiteral("<ul>")));
    EXPECT_EQ(stopPos, body.indexOf(QStringLiteral("</ul>")));
    EXPECT_EQ(ctx.m_strStartCheckMask, QStringLiteral("<ul>"));
    EXPECT_EQ(ctx.m_strStopCheckMask, QStringLiteral("</ul>"));
    // The cut part: after the start text, up to the unit before the stop text.
    const qsizetype first = startPos + 4;
    const qsizetype last = stopPos - 1;
    EXPECT_EQ(ctx.m_dwCheckSum, PythonCrc32(fixture, first, last));
    EXPECT_EQ(ctx.m_iStatus, statusOrdinary) << "a newly chosen part is no change of the page";
}

TEST_F(PageDialogs, IntervalBarsOpenSplitAndComeBackInWholeMinutes)
{
    struct Case {
        DWORD stored;
        int days, hours, minutes;
        std::vector<WORD> moves; // on the minutes bar
        DWORD back;
        bool refused;
    };
    const Case cases[] = {
        { 90061, 1, 1, 1, {}, 90060, false }, // one second below a minute is dropped
        { 3600, 0, 1, 0, {}, 3600, false },
        { 3540, 0, 0, 59, { SB_LINERIGHT }, 3540, false }, // at the end of the range it stays
        { 3540, 0, 0, 59, { SB_PAGELEFT }, 3480, false }, // the page area moves by one
        { 60, 0, 0, 1, { SB_LINELEFT }, 0, true }, // all zero is refused
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        m_messages.clear();
        CPageModifyDlg dlg;
        dlg.m_strUrl = QStringLiteral("http://example.com/");
        dlg.m_nInterval = c.stored;
        int days = -1, hours = -1, minutes = -1;
        QString label,
            expectedLabel = QStringLiteral("Interval between checks: ") + FormatInterval(c.days, c.hours, c.minutes);
        bool openAfterOk = false;
        ScopedDialogHook hook([&](HWND d, WORD) {
            days = CScrollBar(::GetDlgItem(d, IDC_INTERVAL_DAYS)).GetScrollPos();
            hours = CScrollBar(::GetDlgItem(d, IDC_INTERVAL_HOURS)).GetScrollPos();
            minutes = CScrollBar(::GetDlgItem(d, IDC_INTERVAL_MINUTES)).GetScrollPos();
            label = ::GetDlgItemText(d, IDC_INTERVAL_CAPTION);
            for (WORD move : c.moves)
                ScrollControl(::GetDlgItem(d, IDC_INTERVAL_MINUTES), move);
            Click(::GetDlgItem(d, IDOK));
            openAfterOk = ::IsWindow(d) && !m_messages.empty();
            if (openAfterOk)
                Click(::GetDlgItem(d, IDCANCEL));
        });
        const INT_PTR result = dlg.DoModal(nullptr, 0);
        EXPECT_EQ(days, c.days);
        EXPECT_EQ(hours, c.hours);
        EXPECT_EQ(minutes, c.minutes);
        EXPECT_EQ(label, expectedLabel);
        if (c.refused) {
            EXPECT_TRUE(openAfterOk);
            EXPECT_EQ(result, IDCANCEL);
            ASSERT_EQ(m_messages.size(), 1u);
            EXPECT_EQ(m_messages[0], QStringLiteral("Error: Interval between check cannot be zero."));
        } else {
            EXPECT_EQ(result, IDOK);
            EXPECT_EQ(dlg.m_nInterval, c.back);
        }
    }
}

// Runs the content dialog on the context; the hook acts once the first download (if any) ended.
INT_PTR RunContentDialog(SPageCtx& ctx, const QString& url, const std::function<void(HWND, CSearchContentDlg&)>& act)
{
    CPageModifyDlg owner;
    owner.m_strUrl = url;
    CSearchContentDlg dlg(&ctx);
    ScopedDialogHook hook([&](HWND d, WORD id) {
        if (id == IDD_SEARCH_CONTENT)
            act(d, dlg);
    });
    return dlg.DoModal(nullptr, reinterpret_cast<LPARAM>(&owner));
}

TEST_F(PageDialogs, ContentDialogOkDuringADownloadAppliesTheTextsToWhatItBrought)
{
    // Offline: no download at opening; the one the user starts is still running at OK.
    g_prefs.GetParam(kWorkOffline)->SetBool(true);
    SPageCtx ctx;
    ctx.Reset();
    ctx.m_dwCheckSum = 0xABCD;
    ctx.m_iStatus = statusOrdinary;
    bool waitedWithOkDisabled = false;
    const INT_PTR result = RunContentDialog(ctx, Url("/dripping"), [&](HWND d, CSearchContentDlg& dlg) {
        EXPECT_TRUE(CWindow(::GetDlgItem(d, IDC_PAGE_TEXT)).GetWindowText().isEmpty());
        Click(::GetDlgItem(d, IDC_DOWNLOAD_PAGE));
        ASSERT_TRUE(dlg.IsDownloading());
        Click(::GetDlgItem(d, IDOK));
        waitedWithOkDisabled = ::IsWindow(d) && !::IsWindowEnabled(::GetDlgItem(d, IDOK));
    });
    EXPECT_TRUE(waitedWithOkDisabled);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ctx.m_strHtml, QString(30, u'x'));
    // Both texts empty: the whole page but its last two units is watched.
    const std::string fixture = s_dir->File("dripped.txt");
    WriteFile(fixture, std::string(30, 'x'));
    EXPECT_EQ(ctx.m_dwCheckSum, PythonCrc32(fixture, 0, 28));
    EXPECT_EQ(ctx.m_iStatus, statusOrdinary);
}

TEST_F(PageDialogs, ContentDialogCancelDuringADownloadClosesOnceTheWorkerEnded)
{
    SPageCtx ctx;
    ctx.Reset();
    QString terminating;
    bool buttonsDisabled = false;
    const INT_PTR result = RunContentDialog(ctx, Url("/slow"), [&](HWND d, CSearchContentDlg& dlg) {
        ASSERT_TRUE(dlg.IsDownloading()); // opening online with an empty context downloads
        Click(::GetDlgItem(d, IDCANCEL));
        terminating = ::GetDlgItemText(d, IDC_PAGE_PROGRESS);
        buttonsDisabled = !::IsWindowEnabled(::GetDlgItem(d, IDOK)) && !::IsWindowEnabled(::GetDlgItem(d, IDCANCEL))
            && !::IsWindowEnabled(::GetDlgItem(d, IDC_DOWNLOAD_PAGE));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(terminating, QStringLiteral("Terminating ..."));
    EXPECT_TRUE(buttonsDisabled);
    EXPECT_EQ(ctx.m_dwErrorCode, 1223u);
}

TEST_F(PageDialogs, ContentDialogTakesTextsFromTheSelectionAndAnEmptiedEditFlipsItsRadio)
{
    SPageCtx ctx;
    ctx.Reset();
    ctx.m_strHtml = kPrices; // shown at once, nothing downloaded
    std::vector<QStringList> menus;
    UINT choice = 0;
    taluvo::ui::test::ScopedPopupMenuHook menusHook([&](HMENU menu, HWND, POINT) {
        QStringList items;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            items << GetMenuString(menu, static_cast<UINT>(i), MF_BYPOSITION)
                    + QString::fromUtf16((state & MF_GRAYED) ? u" (grey)" : u"");
        }
        menus.push_back(items);
        return choice;
    });
    bool startRadioBack = false, startEditDisabled = false;
    int startAfterSelection = -2, stopAfterSelection = -2;
    RunContentDialog(ctx, Url("/prices"), [&](HWND d, CSearchContentDlg& dlg) {
        CWindow text(::GetDlgItem(d, IDC_PAGE_TEXT));
        text.SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(text.m_hWnd), MAKELPARAM(10, 10));
        const int li = static_cast<int>(kPrices.indexOf(QStringLiteral("<li>")));
        CHARRANGE range { li, li + 4 };
        text.SendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        choice = 2;
        text.SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(text.m_hWnd), MAKELPARAM(10, 10));
        const int end = static_cast<int>(kPrices.indexOf(QStringLiteral("</ul>")));
        range = CHARRANGE { end, end + 5 };
        text.SendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        choice = 3;
        text.SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(text.m_hWnd), MAKELPARAM(10, 10));
        startAfterSelection = dlg.m_iStartPos;
        stopAfterSelection = dlg.m_iStopPos;
        EXPECT_EQ(::IsDlgButtonChecked(d, IDC_START_FROM_TEXT), BST_CHECKED);
        EXPECT_EQ(::GetDlgItemText(d, IDC_START_TEXT), QStringLiteral("<li>"));
        EXPECT_EQ(::GetDlgItemText(d, IDC_STOP_TEXT), QStringLiteral("</ul>"));

        // The start edit emptied by hand: back to the beginning of the page.
        CEdit start(::GetDlgItem(d, IDC_START_TEXT));
        TypeText(start, QString());
        start.SetSelAll();
        taluvo::ui::test::PressKey(start, VK_BACK);
        startRadioBack = ::IsDlgButtonChecked(d, IDC_START_FROM_BEGINNING) == BST_CHECKED;
        startEditDisabled = !::IsWindowEnabled(start.m_hWnd);
        EXPECT_EQ(dlg.m_iStartPos, 0);
        Click(::GetDlgItem(d, IDOK));
    });
    ASSERT_EQ(menus.size(), 3u);
    EXPECT_EQ(menus[0], QStringList { QStringLiteral("Selection is empty (grey)") });
    EXPECT_EQ(menus[1],
        (QStringList {
            QStringLiteral("Use as \"Start checking text\""), QStringLiteral("Use as \"Stop checking text\"") }));
    EXPECT_EQ(startAfterSelection, kPrices.indexOf(QStringLiteral("<li>")));
    EXPECT_EQ(stopAfterSelection, kPrices.indexOf(QStringLiteral("</ul>")));
    EXPECT_TRUE(startRadioBack);
    EXPECT_TRUE(startEditDisabled);
    EXPECT_EQ(ctx.m_strStartCheckMask, QString());
    EXPECT_EQ(ctx.m_strStopCheckMask, QStringLiteral("</ul>"));
}

TEST_F(PageDialogs, ModifyDialogLinksOpenLongAddressesWholeInTheUsersBrowser)
{
    taluvo::ui::test::ShellRequestCapture requests;
    g_prefs.GetParam(kUseDefaultBrowser)->SetBool(false);
    g_prefs.GetParam(kUserBrowserPath)->SetString(QStringLiteral("\"/opt/my browser/run\" --new-tab"));
    const QString longest = QStringLiteral("http://example.com/") + QString(CPageModifyDlg::kMaxLinkAddress - 19, u'a');
    struct Case {
        QString address;
        bool opens;
    };
    const Case cases[] = {
        { QStringLiteral("http://example.com/a b?q=\"x\"&y=$HOME"), true },
        { longest, true },
        { longest + u'a', false },
    };
    for (const Case& c : cases) {
        m_messages.clear();
        const size_t before = requests.Requests().size();
        CPageModifyDlg dlg;
        dlg.m_strUrl = c.address;
        dlg.m_strUrlBrowser = QStringLiteral("http://browser.example.com/");
        dlg.m_nInterval = 3600;
        ScopedDialogHook hook([&](HWND d, WORD) {
            taluvo::ui::test::ClickLink(::GetDlgItem(d, IDC_PAGE_URL_LINK));
            Click(::GetDlgItem(d, IDCANCEL));
        });
        dlg.DoModal(nullptr, 0);
        const auto all = requests.Requests();
        if (c.opens) {
            ASSERT_EQ(all.size(), before + 1);
            EXPECT_EQ(all.back().arguments,
                (QStringList { QStringLiteral("/opt/my browser/run"), QStringLiteral("--new-tab"), c.address }));
            EXPECT_TRUE(m_messages.empty());
        } else {
            EXPECT_EQ(all.size(), before);
            EXPECT_EQ(
                m_messages, std::vector<QString> { QStringLiteral("Error: Unable to open web page in browser.") });
        }
    }
    g_prefs.GetParam(kUseDefaultBrowser)->SetBool(true);
}

TEST_F(PageDialogs, ModifyDialogTakesANewAddressWithItsTitleAndKeepsATypedDescriptionForTheBrowserAddress)
{
    SPageCtx ctx;
    ctx.Reset();
    CPageModifyDlg dlg;
    dlg.m_pPageCtx = &ctx;
    dlg.m_strUrl = QStringLiteral("http://old.example.com/");
    dlg.m_strUrlBrowser = dlg.m_strUrl;
    dlg.m_strDescr = QStringLiteral("Old");
    dlg.m_nInterval = 3600;
    QString afterAddress, afterBrowser, linkAfterBrowser;
    bool disabledAll = false;
    ScopedDialogHook hook([&](HWND d, WORD id) {
        if (id == IDD_PAGE_ADD) {
            ::SetDlgItemText(d, IDC_PAGE_URL,
                ::GetWindowText(d) == QStringLiteral("Modify address")
                    ? Url("/title")
                    : QStringLiteral("http://Browser.Example.com/Path"));
            Click(::GetDlgItem(d, IDOK));
            return;
        }
        Click(::GetDlgItem(d, IDC_PAGE_MODIFY_URL));
        afterAddress = ::GetDlgItemText(d, IDC_PAGE_DESCR);
        ::SetDlgItemText(d, IDC_PAGE_DESCR, QStringLiteral("Typed by hand"));
        Click(::GetDlgItem(d, IDC_PAGE_MODIFY_BROWSER_URL));
        afterBrowser = ::GetDlgItemText(d, IDC_PAGE_DESCR);
        linkAfterBrowser = ::GetWindowText(::GetDlgItem(d, IDC_PAGE_BROWSER_LINK));
        // Unchecking Enable leaves only the interval label, OK and Cancel usable.
        Click(::GetDlgItem(d, IDC_PAGE_ENABLE));
        disabledAll = true;
        for (int control :
            { IDC_PAGE_URL_LINK, IDC_PAGE_MODIFY_URL, IDC_PAGE_MODIFY_BROWSER_URL, IDC_PAGE_CONTENT_FOR_CHECK,
                IDC_PAGE_DESCR, IDC_INTERVAL_MINUTES, IDC_INTERVAL_HOURS, IDC_INTERVAL_DAYS, IDC_PAGE_BROWSER_LINK })
            disabledAll = disabledAll && !::IsWindowEnabled(::GetDlgItem(d, control));
        disabledAll = disabledAll && ::IsWindowEnabled(::GetDlgItem(d, IDOK));
        Click(::GetDlgItem(d, IDOK));
    });
    EXPECT_EQ(dlg.DoModal(nullptr, 0), IDOK);
    EXPECT_EQ(afterAddress, QStringLiteral("Big News"));
    EXPECT_EQ(afterBrowser, QStringLiteral("Typed by hand"));
    EXPECT_EQ(linkAfterBrowser, QStringLiteral("http://browser.example.com/Path"));
    EXPECT_TRUE(disabledAll);
    EXPECT_EQ(dlg.m_strUrl, Url("/title"));
    EXPECT_EQ(dlg.m_strUrlBrowser, QStringLiteral("http://browser.example.com/Path"));
    EXPECT_EQ(dlg.m_strDescr, QStringLiteral("Typed by hand"));
    EXPECT_FALSE(dlg.m_bEnable);
    EXPECT_FALSE(dlg.m_bCheckStateStale);
    EXPECT_EQ(ctx.m_dwHttpStatusCode, 200u);
}

TEST_F(PageDialogs, AddModeTakesTheClipboardsAddressUpToItsFirstBlank)
{
    struct Case {
        const char16_t* clipboard;
        const char16_t* given;
        int mode;
        const char16_t* shown;
    };
    const Case cases[] = {
        { u"HTTP://Example.COM/Page more words", u"", CPageAddDlg::modeAddPage, u"http://example.com/Page" },
        { u"not an address", u"", CPageAddDlg::modeAddPage, u"" },
        { u"http://clip.example.com/", u"http://given.example.com/", CPageAddDlg::modeAddPage,
            u"http://given.example.com/" },
        { u"http://clip.example.com/", u"", CPageAddDlg::modeModifyUrl, u"" },
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(taluvo::ui::SetClipboardText(QString::fromUtf16(c.clipboard)));
        CPageAddDlg dlg;
        dlg.m_strUrl = QString::fromUtf16(c.given);
        QString shown;
        ScopedDialogHook hook([&](HWND d, WORD) {
            shown = ::GetDlgItemText(d, IDC_PAGE_URL);
            Click(::GetDlgItem(d, IDCANCEL));
        });
        EXPECT_EQ(dlg.DoModal(nullptr, c.mode), IDCANCEL);
        EXPECT_EQ(shown, QString::fromUtf16(c.shown)) << QString::fromUtf16(c.clipboard).toStdString();
    }
}

} // namespace
