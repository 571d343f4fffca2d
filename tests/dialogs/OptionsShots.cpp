// dialogs_options_shots <folder> <smtp port>: runs the options sheet on the X server of the
// environment and saves every page, framed, as <folder>/options-NN.png; then the e-mail test dialog
// after one try against the SMTP server on the port, as <folder>/email-test.png. Exit code 0 when
// all twelve were written.
#include "dialogs/EMailTestDlg.h"
#include "dialogs/PreferencesDlg.h"
#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"
#include "tests/platform/ui/WindowShot.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>

namespace uitest = taluvo::ui::test;

namespace {

bool Save(HWND window, const QString& path)
{
    taluvo::test::WaitFramed(window);
    const bool saved = taluvo::test::GrabFramed(window).save(path, "PNG");
    std::printf("screenshot %s: %s\n", saved ? "saved" : "NOT saved", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 3) {
        std::fprintf(stderr, "usage: dialogs_options_shots <folder> <smtp port>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int port = std::atoi(argv[2]);
    int one = 1;
    taluvo::ui::CUiApplication app(one, argv);
    if (app.Headless()) {
        std::printf("no X display\n");
        return 3;
    }
    taluvo::res::RegisterResources();

    CPreferences source;
    source.GetParam("LogEnable")->SetBool(true);
    source.GetParam("LogFilePath")->SetString(QStringLiteral("/home/user/taluvo-logs"));
    source.GetParam("UseProxy")->SetBool(true);
    source.GetParam("ProxyServer")->SetString(QStringLiteral("proxy.example.org"));
    source.GetParam("ProxyExcludeList")->SetString(QStringLiteral("localhost;*.example.org"));
    source.GetParam("UseEMailNotification")->SetBool(true);
    source.GetParam("SmtpServer")->SetString(QStringLiteral("127.0.0.1"));
    source.GetParam("EMailFromAddr")->SetString(QStringLiteral("alerts@example.org"));
    source.GetParam("CSVFile")->SetString(QStringLiteral("/home/user/recipients.csv"));
    source.GetParam("RunCmdText")->SetString(QStringLiteral("notify-send \"Page updated\" %1"));

    int saved = 0;
    CEMailTestDlg* test = nullptr;
    uitest::ScopedDialogHook hook([&](HWND dialog, WORD id) {
        if (id == 0) {
            for (int page = 0; page < 11; ++page) {
                uitest::SelectSheetTab(dialog, page);
                saved += Save(dialog, folder + QStringLiteral("/options-%1.png").arg(page + 1, 2, 10, QLatin1Char('0')))
                    ? 1 : 0;
            }
            uitest::PressSheetButton(dialog, PSBTN_CANCEL);
            return;
        }
        if (id == IDD_EMAIL_TEST && test) {
            test->m_spSmtp->m_nPort = htons(static_cast<uint16_t>(port));
            ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDC_TEST_TRY, BN_CLICKED), 0);
            saved += Save(dialog, folder + QStringLiteral("/email-test.png")) ? 1 : 0;
            ::SendMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    });
    uitest::ScopedMessageBoxHook boxes([](const uitest::MessageBoxRequest& box) {
        std::printf("box: %s: %s\n", qPrintable(box.caption), qPrintable(box.text));
        return IDOK;
    });
    CPreferencesDlg sheet(&source, QStringLiteral("Preferences"));
    std::printf("sheet result: %d\n", int(sheet.DoModal(nullptr)));

    CEMailTestDlg dlg;
    test = &dlg;
    dlg.m_strSmtpServer = QStringLiteral("127.0.0.1");
    dlg.m_strFromName = dlg.m_strToName = QStringLiteral("Taluvo");
    dlg.m_strFromAddress = dlg.m_strToAddress = QStringLiteral("alerts@example.org");
    dlg.m_strSubject = QStringLiteral("This is a test message from Taluvo");
    dlg.m_strMessage = QStringLiteral("Simple text");
    dlg.DoModal(nullptr);
    return saved == 12 ? 0 : 1;
}
