// dialogs_options_shots <folder> <smtp port>: runs the options sheet on the X server of the
// environment and saves every page, framed, as <folder>/options-NN.png; then the e-mail test dialog
// after one try against the SMTP server on the port, as <folder>/email-test.png. Exit code 0 when
// all twelve were written; then, with a recipients file that names nobody usable, the test dialog
// and the box of the sheet's OK as <folder>/email-test-recipients.png and recipients-box.png, their
// texts printed.
#include "dialogs/EMailTestDlg.h"
#include "dialogs/PreferencesDlg.h"
#include "platform/ui/Application.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"
#include "tests/platform/ui/WindowShot.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWindow>

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
    source.GetParam(kLogEnable)->SetBool(true);
    source.GetParam(kLogFilePath)->SetString(QStringLiteral("/home/user/taluvo-logs"));
    source.GetParam(kUseProxy)->SetBool(true);
    source.GetParam(kProxyServer)->SetString(QStringLiteral("proxy.example.org"));
    source.GetParam(kProxyExcludeList)->SetString(QStringLiteral("localhost;*.example.org"));
    source.GetParam(kUseEMailNotification)->SetBool(true);
    source.GetParam(kSmtpServer)->SetString(QStringLiteral("127.0.0.1"));
    source.GetParam(kEMailFromAddr)->SetString(QStringLiteral("alerts@example.org"));
    source.GetParam(kCSVFile)->SetString(QStringLiteral("/home/user/recipients.csv"));
    source.GetParam(kRunCmdText)->SetString(QStringLiteral("notify-send \"Page updated\" %1"));

    int saved = 0;
    CEMailTestDlg* test = nullptr;
    bool recipients = false; // the last run: a recipients file that reaches nobody
    uitest::ScopedDialogHook hook([&](HWND dialog, WORD id) {
        if (recipients) {
            if (id == 0) {
                uitest::SelectSheetTab(dialog, 8);
                uitest::Click(GetDlgItem(
                    reinterpret_cast<HWND>(SendMessage(dialog, PSM_GETCURRENTPAGEHWND, 0, 0)), IDC_EMAIL_TEST));
                uitest::SelectSheetTab(dialog, 0);
                // The real box the sheet's OK raises; Yes in it keeps the settings.
                uitest::PressSheetButton(dialog, PSBTN_OK);
            } else if (id == IDD_EMAIL_TEST) {
                saved += Save(dialog, folder + QStringLiteral("/email-test-recipients.png")) ? 1 : 0;
                std::printf("test output: <%s>\n", qPrintable(GetDlgItemText(dialog, IDC_TEST_OUTPUT)));
                ::SendMessage(dialog, WM_COMMAND, IDCANCEL, 0);
            }
            return;
        }
        if (id == 0) {
            for (int page = 0; page < 11; ++page) {
                uitest::SelectSheetTab(dialog, page);
                saved += Save(dialog, folder + QStringLiteral("/options-%1.png").arg(page + 1, 2, 10, QLatin1Char('0')))
                    ? 1
                    : 0;
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

    // Recipients the alerts cannot use, named by Test and on OK in a box of its own.
    recipients = true;
    const QString csv = folder + QStringLiteral("/recipients-with-commas.csv");
    QFile file(csv);
    if (!file.open(QIODevice::WriteOnly) || file.write("ann@example.org, Ann\nbob@example.org\n") <= 0)
        return 1;
    file.close();
    source.GetParam(kCSVFile)->SetString(csv);
    const uitest::MessageBoxHook scripted = uitest::SetMessageBoxHook({});
    // Polls for the box; it keeps ticking after the answer, so the box's loop wakes to see it.
    QTimer poll;
    bool answered = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (answered || !box || !box->windowHandle() || !box->windowHandle()->isExposed()
            || box->frameGeometry().size() == box->geometry().size())
            return;
        answered = true;
        QPixmap pixels;
        taluvo::test::ProcessEventsUntil([&] {
            const QRect frame = box->frameGeometry();
            pixels
                = QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
            const QRect inside(box->geometry().topLeft() - frame.topLeft(), box->geometry().size());
            return taluvo::test::DifferingShare(pixels.toImage().copy(inside), box->grab().toImage()) < 0.01;
        });
        const QString path = folder + QStringLiteral("/recipients-box.png");
        const bool ok = pixels.save(path, "PNG");
        saved += ok ? 1 : 0;
        std::printf("screenshot %s: %s\n", ok ? "saved" : "NOT saved", qPrintable(path));
        std::printf("real box: %s: <%s>\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
        // Answered as a user does: Return takes the default button, Yes.
        box->activateWindow();
        std::printf(
            "answering with Return: %s\n", std::system("xdotool key --clearmodifiers Return") == 0 ? "sent" : "failed");
    });
    poll.start(50);
    CPreferencesDlg checked(&source, QStringLiteral("Preferences"));
    std::printf("recipients sheet result: %d\n", int(checked.DoModal(nullptr)));
    poll.stop();
    uitest::SetMessageBoxHook(scripted);
    return saved == 14 ? 0 : 1;
}
