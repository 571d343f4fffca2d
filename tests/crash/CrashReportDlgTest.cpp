// The crash dialog driven as a user drives it (offscreen): Send packs the archive and hands it to
// a stand-in xdg-email on the PATH; Exit and Escape leave nothing behind.
#include "crash/CrashReportDlg.h"
#include "platform/shell/MailClient.h"
#include "platform/ui/Application.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"
#include "tests/crash/CrashTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

using taluvo::test::TempDir;
namespace uitest = taluvo::ui::test;

int g_argc = 1;
char g_name[] = "crash-dialog-tests";
char* g_argv[] = { g_name, nullptr };
taluvo::ui::CUiApplication* g_app = nullptr;

// A stand-in mail client: records its arguments (NUL-separated) and ends with the exit code
// the test chose.
const char kStandIn[] = "#!/bin/sh\n"
                        "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$CRASH_TEST_MAIL_LOG\"; done\n"
                        "exit \"${CRASH_TEST_MAIL_EXIT:-0}\"\n";

std::vector<std::string> SplitNul(const std::string& bytes)
{
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t end = bytes.find('\0', at);
        parts.push_back(bytes.substr(at, end - at));
        at = end == std::string::npos ? bytes.size() : end + 1;
    }
    return parts;
}

// The archive checked with Python's zipfile: its entry names in order, each verified against its
// source file ("ok" when every entry matches and the CRCs hold).
std::string CheckArchive(const std::string& archive, const std::string& report, const std::string& dump)
{
    const std::string script = "import sys, zipfile\n"
                               "z = zipfile.ZipFile(sys.argv[1])\n"
                               "assert z.testzip() is None\n"
                               "src = {'Crash.dmp': sys.argv[3], 'taluvo.RPT': sys.argv[2]}\n"
                               "for n in z.namelist():\n"
                               "    assert z.read(n) == open(src[n], 'rb').read(), n\n"
                               "print(' '.join(z.namelist()) + ' ok')\n";
    TempDir dir;
    taluvo::test::WriteFile(dir.File("check.py"), script);
    std::string out = taluvo::crashtest::CommandOutput(
        "/usr/bin/python3 '" + dir.File("check.py") + "' '" + archive + "' '" + report + "' '" + dump + "'");
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

class CrashDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!g_app)
            g_app = new taluvo::ui::CUiApplication(g_argc, g_argv);
        taluvo::res::RegisterResources();
        ASSERT_EQ(mkdir(m_dir.File("bin").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(m_dir.File("nobin").c_str(), 0755), 0);
        taluvo::test::WriteFile(m_dir.File("bin/xdg-email"), kStandIn);
        chmod(m_dir.File("bin/xdg-email").c_str(), 0755);
        m_path = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("CRASH_TEST_MAIL_LOG", MailLog().c_str(), 1);
        taluvo::test::WriteFile(Report(), std::string("=\0=\0=\0 \0r\0e\0p\0o\0r\0t\0", 20));
        taluvo::test::WriteFile(Dump(), std::string("MDMP") + std::string(5000, '\x01'));
    }
    void TearDown() override
    {
        setenv("PATH", m_path.c_str(), 1);
        unsetenv("CRASH_TEST_MAIL_EXIT");
        unsetenv("CRASH_TEST_MAIL_LOG");
    }
    // The stand-in first on the PATH (answering with exitCode), or no xdg-email at all.
    void UseMailClient(bool present, int exitCode = 0)
    {
        setenv("PATH", ((present ? m_dir.File("bin") : m_dir.File("nobin")) + ":/usr/bin:/bin").c_str(), 1);
        setenv("CRASH_TEST_MAIL_EXIT", std::to_string(exitCode).c_str(), 1);
    }
    std::string Report() const { return m_dir.File("taluvo.RPT"); }
    std::string Dump() const { return m_dir.File("Crash.dmp"); }
    std::string Archive() const { return m_dir.File("taluvo.zip"); }
    std::string MailLog() const { return m_dir.File("mail.log"); }

    // Runs the dialog; the hook acts in it. Returns the dialog's result and the boxes it showed.
    INT_PTR Run(const std::function<void(HWND)>& act, std::vector<uitest::MessageBoxRequest>* boxes = nullptr)
    {
        std::vector<uitest::MessageBoxRequest> shown;
        uitest::ScopedMessageBoxHook boxHook([&](const uitest::MessageBoxRequest& r) {
            shown.push_back(r);
            return IDOK;
        });
        uitest::ScopedDialogHook dialogHook([&](HWND dialog, WORD id) {
            if (id == IDD_CRASH_REPORT)
                act(dialog);
        });
        CCrashReportDlg dialog(
            QStringLiteral("/opt/taluvo/taluvo"), QString::fromStdString(Report()), QString::fromStdString(Dump()));
        const INT_PTR result = dialog.DoModal(nullptr);
        if (boxes)
            *boxes = shown;
        return result;
    }

    TempDir m_dir;
    std::string m_path;
};

// The test build has no support address, so the warning names no recipient.
const char kWarningFormat[] = "!!! THE ERROR REPORT WAS NOT SENT !!!.\nPlease send the file:\r\n'%1'.";

TEST_F(CrashDialog, SendPacksTheArchiveAndHandsItToTheMailClient)
{
    struct Case {
        const char* name;
        bool client;
        int exitCode;
        const char* description;
        bool withDump;
        bool warned;
    };
    const Case cases[] = {
        { "accepted", true, 0, "I was adding a page", true, false },
        { "refused", true, 1, "I was adding a page", true, true },
        { "nodescription", true, 0, "", false, false },
        { "noclient", false, 0, "x", true, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(MailLog().c_str());
        if (!c.withDump)
            std::remove(Dump().c_str());
        taluvo::test::WriteFile(Archive(), "an older archive");
        UseMailClient(c.client, c.exitCode);
        std::vector<uitest::MessageBoxRequest> boxes;
        const INT_PTR result = Run(
            [&](HWND dialog) {
                if (*c.description)
                    uitest::TypeText(::GetDlgItem(dialog, IDC_CRASH_DESCRIPTION), QString::fromUtf8(c.description));
                uitest::Click(::GetDlgItem(dialog, IDOK));
            },
            &boxes);
        EXPECT_EQ(result, IDOK) << "the dialog closes whether or not the mail went out";

        EXPECT_EQ(CheckArchive(Archive(), Report(), Dump()), c.withDump ? "Crash.dmp taluvo.RPT ok" : "taluvo.RPT ok");

        if (c.client) {
            std::vector<std::string> expected = { "--utf8", "--subject", "Error report for taluvo" };
            if (*c.description) {
                expected.push_back("--body");
                expected.push_back(c.description);
            }
            expected.push_back("--attach");
            expected.push_back(Archive()); // no recipient: the support address is empty
            EXPECT_EQ(SplitNul(taluvo::test::ReadFile(MailLog())), expected);
        }
        size_t box = 0;
        if (!c.client) {
            ASSERT_GE(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].caption.toStdString(), "Crash Report");
            EXPECT_EQ(boxes[0].type & MB_ICONMASK, MB_ICONERROR);
            box = 1;
        }
        if (c.warned) {
            ASSERT_EQ(boxes.size(), box + 1);
            EXPECT_EQ(boxes[box].text, QString::fromLatin1(kWarningFormat).arg(QString::fromStdString(Archive())));
            EXPECT_EQ(boxes[box].caption.toStdString(), "taluvo");
            EXPECT_EQ(boxes[box].type & MB_ICONMASK, MB_ICONWARNING);
        } else {
            EXPECT_TRUE(boxes.empty()) << boxes[0].text.toStdString();
        }
        taluvo::test::WriteFile(Dump(), std::string("MDMP") + std::string(5000, '\x01'));
    }
}

TEST_F(CrashDialog, IconIsLoadedAndTheHiddenLinkIsACommandLinkThatDoesNothing)
{
    taluvo::res::RegisterResources();
    bool icon = false;
    bool hiddenClickRefused = false;
    bool openAfterClick = false;
    const INT_PTR result = Run([&](HWND dialog) {
        icon = ::SendDlgItemMessage(dialog, IDC_CRASH_ICON, STM_GETICON, 0, 0) != 0;
        HWND link = ::GetDlgItem(dialog, IDC_CRASH_LINK);
        hiddenClickRefused = !uitest::ClickLink(link);
        ::ShowWindow(link, SW_SHOW);
        EXPECT_TRUE(uitest::ClickLink(link)); // command 4000: answered and nothing else
        openAfterClick = ::IsWindowVisible(dialog) != FALSE;
        uitest::Click(::GetDlgItem(dialog, IDCANCEL));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(icon);
    EXPECT_TRUE(hiddenClickRefused);
    EXPECT_TRUE(openAfterClick);
}

TEST_F(CrashDialog, ExitAndEscapeCloseWithoutAnArchive)
{
    UseMailClient(true);
    for (bool escape : { false, true }) {
        SCOPED_TRACE(escape ? "escape" : "exit");
        QString caption, headline;
        bool linkShown = true;
        const INT_PTR result = Run([&](HWND dialog) {
            caption = ::GetWindowText(dialog);
            headline = ::GetDlgItemText(dialog, IDC_CRASH_HEADLINE);
            linkShown = ::IsWindowVisible(::GetDlgItem(dialog, IDC_CRASH_LINK))
                || ::IsWindowVisible(::GetDlgItem(dialog, IDC_CRASH_LINK_CAPTION));
            if (escape)
                uitest::PressKey(dialog, VK_ESCAPE);
            else
                uitest::Click(::GetDlgItem(dialog, IDCANCEL));
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(caption.toStdString(), "taluvo");
        EXPECT_EQ(headline.toStdString(), "taluvo has encountered a problem and needs to close.");
        EXPECT_FALSE(linkShown);
        struct stat info { };
        EXPECT_NE(stat(Archive().c_str(), &info), 0) << "no archive";
        EXPECT_NE(stat(MailLog().c_str(), &info), 0) << "no mail";
    }
}

// The controls sit where the dialog's layout puts them, in dialog units.
TEST_F(CrashDialog, ControlsTakeTheirPlacesInDialogUnits)
{
    struct Place {
        int id;
        RECT units;
    };
    const Place places[] = {
        { IDC_CRASH_BAND, { 0, 0, 269, 32 } },
        { IDC_CRASH_HEADLINE, { 20, 7, 232, 28 } },
        { IDC_CRASH_ICON, { 234, 6, 254, 26 } },
        { IDC_CRASH_DESCRIPTION, { 20, 127, 251, 181 } },
        { IDOK, { 148, 202, 198, 216 } },
        { IDCANCEL, { 201, 202, 251, 216 } },
    };
    std::vector<std::pair<RECT, RECT>> seen; // expected, actual
    Run([&](HWND dialog) {
        for (const Place& p : places) {
            RECT expected = p.units;
            ::MapDialogRect(dialog, &expected);
            RECT actual {};
            ::GetWindowRect(::GetDlgItem(dialog, p.id), &actual);
            POINT topLeft { actual.left, actual.top };
            POINT bottomRight { actual.right, actual.bottom };
            ::ScreenToClient(dialog, &topLeft);
            ::ScreenToClient(dialog, &bottomRight);
            seen.push_back({ expected, RECT { topLeft.x, topLeft.y, bottomRight.x, bottomRight.y } });
        }
        uitest::Click(::GetDlgItem(dialog, IDCANCEL));
    });
    ASSERT_EQ(seen.size(), std::size(places));
    for (size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(places[i].id);
        EXPECT_EQ(seen[i].second.left, seen[i].first.left);
        EXPECT_EQ(seen[i].second.top, seen[i].first.top);
        EXPECT_EQ(seen[i].second.right, seen[i].first.right);
        EXPECT_EQ(seen[i].second.bottom, seen[i].first.bottom);
    }
}

// The band, the headline and the icon answer the colour requests the dialog reflects to them:
// black on white while enabled, the system's grey on button face when disabled; other statics are
// left to the default.
TEST_F(CrashDialog, BandAndHeadlineAnswerReflectedColourRequests)
{
    struct Answer {
        COLORREF brushColor = 0;
        COLORREF text = 0;
        int bkMode = 0;
        bool brush = false;
    };
    auto ask = [](HWND dialog, UINT message, HWND control) {
        Answer a;
        HDC dc = ::CreateCompatibleDC(nullptr);
        const auto brush = reinterpret_cast<HGDIOBJ>(
            ::SendMessage(dialog, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
        LOGBRUSH logBrush {};
        a.brush = brush && ::GetObject(brush, sizeof(logBrush), &logBrush) == sizeof(logBrush);
        a.brushColor = logBrush.lbColor;
        a.text = ::GetTextColor(dc);
        a.bkMode = ::GetBkMode(dc);
        ::DeleteDC(dc);
        return a;
    };
    std::vector<Answer> answers;
    Run([&](HWND dialog) {
        answers.push_back(ask(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_CRASH_BAND)));
        answers.push_back(ask(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_CRASH_HEADLINE)));
        answers.push_back(ask(dialog, WM_CTLCOLORDLG, ::GetDlgItem(dialog, IDC_CRASH_ICON)));
        ::EnableWindow(::GetDlgItem(dialog, IDC_CRASH_HEADLINE), FALSE);
        answers.push_back(ask(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_CRASH_HEADLINE)));
        answers.push_back(ask(dialog, WM_CTLCOLORSTATIC, ::GetDlgItem(dialog, IDC_CRASH_LINK)));
        uitest::Click(::GetDlgItem(dialog, IDCANCEL));
    });
    ASSERT_EQ(answers.size(), 5u);
    const COLORREF white = RGB(255, 255, 255);
    for (int i : { 0, 1 }) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(answers[i].brush);
        EXPECT_EQ(answers[i].brushColor, white);
        EXPECT_EQ(answers[i].text, RGB(0, 0, 0));
        EXPECT_EQ(answers[i].bkMode, TRANSPARENT);
    }
    EXPECT_TRUE(answers[2].brush);
    EXPECT_EQ(answers[2].brushColor, white);
    EXPECT_TRUE(answers[3].brush);
    EXPECT_EQ(answers[3].brushColor, ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(answers[3].text, ::GetSysColor(COLOR_GRAYTEXT));
    EXPECT_FALSE(answers[4].brush) << "a plain static keeps the default colours";
}

TEST(CrashArchive, ArchiveIsNamedAfterTheReport)
{
    struct Case {
        const char* report;
        const char* archive;
    };
    const Case cases[] = {
        { "/home/u/taluvo/taluvo.RPT", "/home/u/taluvo/taluvo.zip" },
        { "/a.b/prog.RPT", "/a.b/prog.zip" },
        { "/a/.hidden", "/a/.hidden.zip" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(CCrashReportDlg::ArchivePathFor(QString::fromUtf8(c.report)).toStdString(), c.archive);
}

// A hook that takes the mail request gets recipient, subject, body and the attachment.
TEST(MailClient, RequestReachesTheHookWithItsParts)
{
    std::vector<QStringList> requests;
    auto previous = taluvo::shell::SetRequestHook([&](const taluvo::shell::Request& r) {
        if (r.kind != taluvo::shell::RequestKind::MailClient)
            return false;
        requests.push_back(r.arguments);
        return true;
    });
    EXPECT_TRUE(CCrashReportDlg::SendReportMail(nullptr, QStringLiteral("help@example.org"), QString(),
        QStringLiteral("Subject"), QStringLiteral("Body"), QStringLiteral("/tmp/a.zip")));
    taluvo::shell::SetRequestHook(previous);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], (QStringList { "help@example.org", "Subject", "Body", "/tmp/a.zip" }));
    EXPECT_EQ(taluvo::shell::MailClientArguments(
                  QStringLiteral("help@example.org"), QString(), QString(), { QStringLiteral("/x y/a.zip") }),
        (QStringList { "xdg-email", "--utf8", "--attach", "/x y/a.zip", "help@example.org" }));
}

} // namespace
