// Help > About runs the about box modally, owned by the window active at that moment.
#include "tests/frame/FrameTestSupport.h"

#include "res/DialogIds.h"

using namespace taluvo::test;

namespace {

class AboutCommand : public MainFrameTest { };

TEST_F(AboutCommand, TheHelpMenuItemOpensTheAboutBox)
{
    ASSERT_TRUE(Create());
    SetActiveWindow(m_frame);
    const HWND active = GetActiveWindow();
    std::vector<WORD> opened;
    HWND owner = nullptr;
    QString caption;
    {
        taluvo::ui::test::ScopedDialogHook hook([&](HWND dialog, WORD id) {
            opened.push_back(id);
            owner = GetParent(dialog);
            caption = GetWindowText(dialog);
            taluvo::ui::test::PressKey(dialog, VK_ESCAPE);
        });
        SendMessage(m_frame, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0);
    }
    EXPECT_EQ(opened, std::vector<WORD> { IDD_ABOUTBOX });
    EXPECT_EQ(caption, QStringLiteral("About"));
    EXPECT_EQ(owner, active);
    EXPECT_TRUE(m_messages.empty());
}

} // namespace
