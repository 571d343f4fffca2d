// Message boxes (hooked, interactive, and with nobody to answer), the shell-request capture, and a
// program started with no display.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/AtlWin.h"
#include "platform/ui/TestHooks.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

namespace {

namespace uitest = taluvo::ui::test;

class UiMessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { taluvo::test::EnsureUiApplication(); }
};

TEST_F(UiMessageBoxTest, HookSeesTheBoxAndAnswersIt)
{
    std::vector<uitest::MessageBoxRequest> seen;
    uitest::ScopedMessageBoxHook hook([&](const uitest::MessageBoxRequest& request) {
        seen.push_back(request);
        return IDYES;
    });
    CWindow owner(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x42)));
    EXPECT_EQ(MessageBox(owner, QStringLiteral("Delete the page?"), QStringLiteral("Confirmation."),
                  MB_YESNO | MB_ICONQUESTION),
        IDYES);
    EXPECT_EQ(MessageBox(nullptr, QStringLiteral("no caption"), QString(), MB_OK), IDYES);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].owner, owner.m_hWnd);
    EXPECT_EQ(seen[0].text, QStringLiteral("Delete the page?"));
    EXPECT_EQ(seen[0].caption, QStringLiteral("Confirmation."));
    EXPECT_EQ(seen[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(seen[1].caption, QStringLiteral("Error")); // a box without caption is captioned "Error"
}

TEST_F(UiMessageBoxTest, WithoutDisplayTheDefaultButtonAnswersAndStderrTells)
{
    struct Case {
        UINT type;
        int expected;
    };
    const Case cases[] = {
        { MB_OK | MB_ICONERROR, IDOK },
        { MB_OKCANCEL, IDOK },
        { MB_YESNO | MB_ICONQUESTION, IDYES },
        { MB_YESNO | MB_DEFBUTTON2, IDNO },
        { MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL },
        { MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY },
        { MB_RETRYCANCEL | MB_DEFBUTTON4, IDRETRY }, // no fourth button: the first
        { MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, IDCONTINUE },
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(MessageBox(nullptr, QStringLiteral("Unable to set check timer."), QStringLiteral("Error"), c.type),
            c.expected)
            << c.type;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("Unable to set check timer."), std::string::npos) << err;
        EXPECT_NE(err.find("\"Error\""), std::string::npos) << err;
    }
}

TEST_F(UiMessageBoxTest, InteractiveBoxEndsWithTheButtonPressedOrEscape)
{
    struct Case {
        UINT type;
        std::function<void(HWND)> act;
        int expected;
    };
    const Case cases[] = {
        { MB_YESNOCANCEL, [](HWND box) { uitest::AnswerMessageBox(box, IDNO); }, IDNO },
        { MB_OKCANCEL, [](HWND box) { uitest::PressKey(box, VK_ESCAPE); }, IDCANCEL },
        { MB_OK, [](HWND box) { SendMessage(box, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDOK },
        { MB_OKCANCEL | MB_DEFBUTTON2, [](HWND box) { uitest::PressKey(box, VK_RETURN); }, IDCANCEL },
        // OK is no escape answer: the box closing itself after the click must not turn it into Cancel.
        { MB_OKCANCEL, [](HWND box) { uitest::AnswerMessageBox(box, IDOK); }, IDOK },
        { MB_OKCANCEL, [](HWND box) { uitest::PressKey(box, VK_RETURN); }, IDOK },
        { MB_CANCELTRYCONTINUE, [](HWND box) { uitest::AnswerMessageBox(box, IDCONTINUE); }, IDCONTINUE },
    };
    for (const auto& c : cases) {
        uitest::ScopedMessageBoxHook hook([&](const uitest::MessageBoxRequest&) {
            QTimer::singleShot(0, [&] {
                HWND box = uitest::TopMessageBox();
                ASSERT_NE(box, nullptr);
                c.act(box);
            });
            return 0; // show it
        });
        EXPECT_EQ(MessageBox(nullptr, QStringLiteral("text"), QStringLiteral("caption"), c.type), c.expected) << c.type;
        EXPECT_EQ(uitest::TopMessageBox(), nullptr);
    }
}

TEST_F(UiMessageBoxTest, ShellRequestsAreCapturedNotCarriedOut)
{
    {
        uitest::ShellRequestCapture capture;
        EXPECT_TRUE(taluvo::shell::OfferToHook(
            { taluvo::shell::RequestKind::OpenUrl, { QStringLiteral("http://a.example/") } }));
        EXPECT_TRUE(
            taluvo::shell::OfferToHook({ taluvo::shell::RequestKind::PlaySound, { QStringLiteral("alert.wav") } }));
        const auto requests = capture.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].kind, taluvo::shell::RequestKind::OpenUrl);
        EXPECT_EQ(requests[1].arguments, QStringList { QStringLiteral("alert.wav") });
    }
    // Gone with the capture.
    EXPECT_FALSE(taluvo::shell::OfferToHook({ taluvo::shell::RequestKind::OpenUrl, { QStringLiteral("x") } }));
}

TEST(UiNoDisplayProgram, MessageBoxGoesToStderrAndTheProgramGoesOn)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TALUVO_UI_DEMO), {});
    ASSERT_TRUE(process.waitForFinished(20000)) << "the demo hung";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("Other instance of application already running."))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("\"Warning\""))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("Delete the group?"))) << err.toStdString();
}

} // namespace
