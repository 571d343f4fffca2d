// The page add and page modify commands through the real window over a prepared database: the
// page dialogs answered through the dialog hook, the rows read with the sqlite3 tool, downloads
// served by a loopback page server, and a Python toolbar on the toolbar port sending add requests.
#include "tests/frame/TreeCommandsSupport.h"

#include "tests/Network/NetworkTestSupport.h"

#include "Network/Listener.h"
#include "core/Globals.h"
#include "core/prefs/Preferences.h"
#include "platform/ui/Controls.h"
#include "res/DialogIds.h"

#include <functional>

using namespace taluvo::test;
using taluvo::ui::test::Click;
using taluvo::ui::test::ScopedDialogHook;
using taluvo::ui::test::TypeText;

namespace {

const char* const kRowColumns
    = "SELECT id, groupId, url, urlBrowser, startCheckMask, stopCheckMask, descr, lastChecked, "
      "lastModified, checkSum, enable, interval, status, errorCode, httpStatusCode FROM PAGES ";

// What the user does in the page dialogs; what they showed is kept.
struct PageDialogsScript {
    QString typedUrl; // null: the address box is left as it opened
    QString typedDescr; // null: the description is left as proposed
    std::function<void(HWND)> inModify; // before OK in the modify dialog
    bool cancelAddress = false;
    bool cancelModify = false;

    int addressOpened = 0;
    int modifyOpened = 0;
    QString addressShown;
    QString descrShown;
};

class PageEditCommands : public TreeCommands {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new TempDir;
        s_server = new PageServer(*s_dir, "edit");
        QJsonObject hang;
        hang[QStringLiteral("hang")] = true;
        s_server->SetRoutes({
            { QStringLiteral("/news"),
                Page(QStringLiteral("<html><TITLE> Daily NEWS </TITLE><body>all is well</body></html>")) },
            { QStringLiteral("/hang"), hang },
        });
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_dir;
    }

    bool StartWith(const std::string& rows, bool offline)
    {
        if (!Start(rows))
            return false;
        g_prefs.GetParam(kWorkOffline)->SetBool(offline);
        g_prefs.GetParam(kAutoDownloadOnline)->SetBool(true);
        g_prefs.GetParam(kAutoSetDescr)->SetBool(true);
        return true;
    }

    std::unique_ptr<ScopedDialogHook> Script(PageDialogsScript& s)
    {
        return std::make_unique<ScopedDialogHook>([&s](HWND dlg, WORD id) {
            if (id == IDD_PAGE_ADD) {
                ++s.addressOpened;
                s.addressShown = GetDlgItemText(dlg, IDC_PAGE_URL);
                if (!s.typedUrl.isNull())
                    SetDlgItemText(dlg, IDC_PAGE_URL, s.typedUrl);
                Click(GetDlgItem(dlg, s.cancelAddress ? IDCANCEL : IDOK));
            } else if (id == IDD_PAGE_MODIFY) {
                ++s.modifyOpened;
                s.descrShown = GetDlgItemText(dlg, IDC_PAGE_DESCR);
                if (!s.typedDescr.isNull())
                    SetDlgItemText(dlg, IDC_PAGE_DESCR, s.typedDescr);
                if (s.inModify)
                    s.inModify(dlg);
                Click(GetDlgItem(dlg, s.cancelModify ? IDCANCEL : IDOK));
            } else {
                ::EndDialog(dlg, IDCANCEL);
            }
        });
    }
    LRESULT Add() { return m_frame.SendMessage(WM_COMMAND, ID_PAGE_ADD); }
    std::string Row(const std::string& where) { return Sqlite(DatabasePath(), kRowColumns + where + ";"); }
    QString SelectedLabel() { return m_frame.ItemLabel(m_frame.m_mainTree.GetSelectedItem()); }

    static inline TempDir* s_dir = nullptr;
    static inline PageServer* s_server = nullptr;
};

TEST_F(PageEditCommands, AddStoresANeverCheckedPageSelectedInItsGroupAndRefusesItsAddressTwice)
{
    ASSERT_TRUE(StartWith(Group(1, "NEWS", 1, sortUserOrder) + Group(2, "OTHER", 1, 1) + Page(1, 1, "Alpha"), true));
    Select(1, 1); // a page selected: its group takes the new page

    PageDialogsScript s;
    s.typedUrl = QStringLiteral("  Example.COM/Some/Path ");
    auto hook = Script(s);
    EXPECT_EQ(Add(), 1);
    EXPECT_EQ(s.descrShown, QStringLiteral("http://example.com/Some/Path"));
    EXPECT_EQ(Row("WHERE id = 2"),
        "2|1|http://example.com/Some/Path|http://example.com/Some/Path|||http://example.com/Some/Path|4294967295|"
        "4294967295|4294967295|1|86400|4|0|0");
    EXPECT_EQ(StoredOrder(1), "1,2");
    EXPECT_EQ(SelectedLabel(), QStringLiteral("http://example.com/Some/Path"));
    EXPECT_EQ(PageLabels(1).size(), 2u);
    EXPECT_EQ(Messages(), "");

    // The same address again in the same group: refused with the warning, nothing stored.
    EXPECT_EQ(Add(), 0);
    EXPECT_EQ(Messages(), "Warning: Page with this url already exists in group.\n");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT count(*) FROM PAGES;"), "2");

    // Letter case of the path counts; another group takes the same address.
    m_messages.clear();
    s.typedUrl = QStringLiteral("example.com/some/path");
    EXPECT_EQ(Add(), 1);
    Select(2);
    s.typedUrl = QStringLiteral("example.com/Some/Path");
    EXPECT_EQ(Add(), 1);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT groupId, url FROM PAGES WHERE id > 2 ORDER BY id;"),
        "1|http://example.com/some/path\n2|http://example.com/Some/Path");
    EXPECT_EQ(Messages(), "");

    // Cancel in either dialog stores nothing.
    for (bool cancelAddress : { true, false }) {
        s.typedUrl = QStringLiteral("example.com/cancelled");
        s.cancelAddress = cancelAddress;
        s.cancelModify = !cancelAddress;
        EXPECT_EQ(Add(), 0);
    }
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT count(*) FROM PAGES;"), "4");
}

TEST_F(PageEditCommands, NewPagesGetIdsThatFitSixteenBits)
{
    PageRow last { 65534, 1, "http://example.test/last", "", "Last", 4294967295LL };
    ASSERT_TRUE(StartWith(Group(1, "NEWS", 1, 1) + Insert(last), true));
    Select(1);
    PageDialogsScript s;
    s.typedUrl = QStringLiteral("example.com/next");
    auto hook = Script(s);
    EXPECT_EQ(Add(), 1);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id FROM PAGES WHERE url = 'http://example.com/next';"), "1");
    EXPECT_NE(m_frame.FindPage(1, 1), nullptr);
}

// The toolbar's frames: work mode and the answer to its request.
nettest::Frame Mode(DWORD mode)
{
    return { MSG_WORK_MODE, mode, {} };
}
nettest::Frame Answer(DWORD added)
{
    return { MSG_RESP_ADD_URL, added, {} };
}

TEST_F(PageEditCommands, AToolbarAddRequestRunsTheDialogsWithItsAddressAndHearsTheAnswer)
{
    ASSERT_TRUE(StartWith(Group(1, "NEWS", 1, 1), false));
    nettest::ToolbarPeer peer;
    const std::vector<int> ids = peer.Connect(1, kToolbarPort);
    ASSERT_EQ(peer.Read(ids.at(0), 1).size(), 1u); // the groups list on connecting
    const QString url = s_server->Url(QStringLiteral("/news"));
    const QByteArray request = nettest::MakeFrame(MSG_REQ_ADD_URL, 1, url.toUtf8() + '\0');

    // The window sits in the tray: the request brings it back before the dialogs open.
    m_frame.ShowWindow(SW_HIDE);
    PageDialogsScript s;
    bool shownForTheDialogs = false;
    s.inModify = [&](HWND) { shownForTheDialogs = ::IsWindowVisible(m_frame) != FALSE; };
    auto hook = Script(s);
    peer.Send(ids[0], request);
    std::vector<nettest::Frame> got = peer.Read(ids[0], 3);
    EXPECT_TRUE(shownForTheDialogs);
    EXPECT_EQ(got, (std::vector<nettest::Frame> { Mode(wmDisable), Answer(1), Mode(wmActive) }))
        << nettest::Describe(got);
    EXPECT_EQ(s.addressShown, url);
    // The test download named the page.
    EXPECT_EQ(s.descrShown, QStringLiteral("Daily NEWS"));
    EXPECT_EQ(Sqlite(DatabasePath(),
                  "SELECT id, groupId, url, descr, status, httpStatusCode, checkSum != 4294967295, "
                  "lastChecked != 4294967295 FROM PAGES;"),
        "1|1|" + url.toStdString() + "|Daily NEWS|3|200|1|1");
    EXPECT_EQ(SelectedLabel(), QStringLiteral("Daily NEWS"));
    EXPECT_EQ(Messages(), "");

    // The same address again: the dialogs run, the warning comes, the answer is 0.
    peer.Send(ids[0], request);
    got = peer.Read(ids[0], 3);
    EXPECT_EQ(got, (std::vector<nettest::Frame> { Mode(wmDisable), Answer(0), Mode(wmActive) }))
        << nettest::Describe(got);
    EXPECT_EQ(Messages(), "Warning: Page with this url already exists in group.\n");
    EXPECT_EQ(s.addressOpened, 2);

    // A group the tree does not hold: refused before any dialog.
    m_messages.clear();
    peer.Send(ids[0], nettest::MakeFrame(MSG_REQ_ADD_URL, 9, url.toUtf8() + '\0'));
    got = peer.Read(ids[0], 3);
    EXPECT_EQ(got, (std::vector<nettest::Frame> { Mode(wmDisable), Answer(0), Mode(wmActive) }))
        << nettest::Describe(got);
    EXPECT_EQ(Messages(), "Error: Unable to detect group for adding.\n");
    EXPECT_EQ(s.addressOpened, 2);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT count(*) FROM PAGES;"), "1");
}

std::string CheckedPage(int id, int group, const std::string& url, const std::string& descr = "Checked")
{
    return "INSERT INTO PAGES VALUES(" + std::to_string(id) + ", " + std::to_string(group) + ", " + SqlText(url)
        + ", 'http://browser.test/', '<b>', '</b>', " + SqlText(descr)
        + ", 1700000000, 1690000000, 123456, 1, 3600, 1, 0, 200);\n";
}

TEST_F(PageEditCommands, ModifyKeepsTheCheckStateUnlessTheWatchedAddressOrPartChanged)
{
    ASSERT_TRUE(StartWith(Group(1, "NEWS", 1, 1) + CheckedPage(1, 1, "http://example.test/1")
            + CheckedPage(2, 1, "http://example.test/2"),
        true));
    PageDialogsScript s;
    auto hook = Script(s);

    // Only the description: the check state stays.
    Select(1, 1);
    s.typedDescr = QStringLiteral("  Renamed ");
    Command(ID_PAGE_MODIFY);
    EXPECT_EQ(Row("WHERE id = 1"),
        "1|1|http://example.test/1|http://browser.test/|<b>|</b>|Renamed|1700000000|1690000000|123456|1|3600|1|0|200");
    EXPECT_EQ(SelectedLabel(), QStringLiteral("Renamed"));

    // A new address without a download: the page counts as never checked.
    Select(1, 2);
    s.typedDescr = QString();
    s.typedUrl = QStringLiteral("example.test/Moved");
    s.inModify = [](HWND dlg) { Click(GetDlgItem(dlg, IDC_PAGE_MODIFY_URL)); };
    Command(ID_PAGE_MODIFY);
    EXPECT_EQ(Row("WHERE id = 2"),
        "2|1|http://example.test/Moved|http://browser.test/|<b>|</b>|http://example.test/Moved|4294967295|4294967295|"
        "4294967295|1|3600|4|0|0");
    EXPECT_TRUE(m_frame.m_checks.m_ctxsRun.empty());

    // An address another page of the group has: refused, nothing written.
    Select(1, 2);
    s.typedUrl = QStringLiteral("http://example.test/1");
    Command(ID_PAGE_MODIFY);
    EXPECT_EQ(Messages(), "Error: Page with this url already exists in group.\n");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT url FROM PAGES WHERE id = 2;"), "http://example.test/Moved");
    EXPECT_TRUE(m_frame.m_checks.m_ctxsRun.empty());
}

TEST_F(PageEditCommands, ANewWatchedPartChosenWithoutADownloadNeverComesUpNewAtTheNextCheck)
{
    // Two pages of one address, checked before with their old part: one fine, one in error since.
    const std::string news = SqlText(s_server->Url(QStringLiteral("/news")).toStdString());
    ASSERT_TRUE(StartWith(Group(1, "NEWS", 1, 1) + "INSERT INTO PAGES VALUES(1, 1, " + news
            + ", 'http://browser.test/', '<b>', '</b>', 'Fine', 1700000000, 1690000000, 123456, 1, 3600, 3, 0, 200);\n"
            + "INSERT INTO PAGES VALUES(2, 1, " + news
            + ", 'http://browser.test/', '<b>', '</b>', 'Failing', 1700000000, 1690000000, 123456, 1, 3600, 2, 12029, "
              "0);\n",
        true));
    g_prefs.GetParam(kPopupAlertEnable)->SetBool(false);
    g_prefs.GetParam(kErrorSoundEnable)->SetBool(false);
    g_prefs.GetParam(kAlertSoundEnable)->SetBool(false);
    // Offline, so nothing is downloaded in the dialogs: the body becomes the watched part.
    int contentOpened = 0;
    ScopedDialogHook hook([&](HWND dlg, WORD id) {
        if (id == IDD_PAGE_MODIFY) {
            Click(GetDlgItem(dlg, IDC_PAGE_CONTENT_FOR_CHECK));
            Click(GetDlgItem(dlg, IDOK));
        } else if (id == IDD_SEARCH_CONTENT) {
            ++contentOpened;
            SetDlgItemText(dlg, IDC_START_TEXT, QStringLiteral("<body>"));
            SetDlgItemText(dlg, IDC_STOP_TEXT, QStringLiteral("</body>"));
            Click(GetDlgItem(dlg, IDOK));
        } else {
            ::EndDialog(dlg, IDCANCEL);
        }
    });
    for (WORD page : { 1, 2 }) {
        Select(1, page);
        Command(ID_PAGE_MODIFY);
    }
    EXPECT_EQ(contentOpened, 2);
    EXPECT_EQ(Messages(), "");
    // A checksum of the old part would make the next check report a change that never happened:
    // it is forgotten, also for the page in error.
    EXPECT_EQ(
        Sqlite(DatabasePath(), "SELECT id, startCheckMask, stopCheckMask, checkSum, status FROM PAGES ORDER BY id;"),
        "1|<body>|</body>|4294967295|4\n2|<body>|</body>|4294967295|4");

    g_prefs.GetParam(kWorkOffline)->SetBool(false);
    for (WORD page : { 1, 2 }) {
        Select(1, page);
        Command(ID_PAGE_CHECK_UPDATE);
    }
    ASSERT_TRUE(WaitForChecks(m_frame));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id, status, errorCode, checkSum != 4294967295 FROM PAGES ORDER BY id;"),
        "1|3|0|1\n2|3|0|1");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT COUNT(DISTINCT checkSum) FROM PAGES;"), "1");
}

TEST_F(PageEditCommands, ModifyFindsThePageAgainAfterTheTreeWasFilledAndDropsItsQueuedCheck)
{
    ASSERT_TRUE(StartWith(Group(1, "NEWS", 1, 1)
            + CheckedPage(1, 1, s_server->Url(QStringLiteral("/hang")).toStdString(), "A hanging page")
            + CheckedPage(2, 1, "http://example.test/2", "B waiting page"),
        false));
    // The group's check: page 1 hangs in its check; page 2 waits behind it.
    Select(1);
    Command(ID_GROUP_CHECK_ALL);
    ASSERT_TRUE(m_frame.m_checks.IsRunning(1, 1));
    ASSERT_TRUE(m_frame.m_checks.IsPending(1, 2));

    // The running page cannot be modified.
    Select(1, 1);
    PageDialogsScript s;
    auto hook = Script(s);
    Command(ID_PAGE_MODIFY);
    EXPECT_EQ(Messages(), "Error: This page now in processing. Try this operation later.\n");
    EXPECT_EQ(s.modifyOpened, 0);
    m_messages.clear();

    Select(1, 2);
    bool busyWhileOpen = false;
    s.typedDescr = QStringLiteral("Second");
    s.inModify = [&](HWND) {
        busyWhileOpen = m_frame.m_checks.IsRunning(1, 2);
        m_frame.LoadContent(); // the tree is built again meanwhile
    };
    Command(ID_PAGE_MODIFY);
    EXPECT_TRUE(busyWhileOpen);
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT descr FROM PAGES WHERE id = 2;"), "Second");
    EXPECT_EQ(SelectedLabel(), QStringLiteral("Second"));
    EXPECT_FALSE(m_frame.m_checks.IsPending(1, 2)) << "a check made of the old row must not write over the new one";
    EXPECT_FALSE(m_frame.m_checks.IsRunning(1, 2));
    m_frame.SendMessage(WM_COMMAND, ID_TOOLS_CANCEL_CHECKS);
    EXPECT_TRUE(WaitForChecks(m_frame));
}

TEST_F(PageEditCommands, TheSessionEndingDuringTheModifyDialogLeavesItsContextToTheCommand)
{
    ASSERT_TRUE(StartWith(Group(1, "NEWS", 1, 1) + CheckedPage(1, 1, "http://example.test/1"), true));
    Select(1, 1);
    PageDialogsScript s;
    s.cancelModify = true;
    size_t runningAfterShutdown = 0;
    s.inModify = [&](HWND) {
        m_frame.SendMessage(WM_ENDSESSION, TRUE);
        runningAfterShutdown = m_frame.m_checks.m_ctxsRun.size();
    };
    auto hook = Script(s);
    Command(ID_PAGE_MODIFY);
    EXPECT_EQ(s.modifyOpened, 1);
    EXPECT_EQ(runningAfterShutdown, 1u) << "the command's context stays until its dialog closes";
    EXPECT_TRUE(m_frame.m_checks.m_ctxsRun.empty());
    EXPECT_EQ(Messages(), "");
}

} // namespace
