// The main window under test: made in this process on the offscreen platform over the database
// of the process's program folder, with message boxes answered and recorded.
#pragma once

#include "tests/frame/ProgramProbes.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include "core/Globals.h"
#include "core/db/Database.h"
#include "frame/mainfrm.h"
#include "platform/shell/OnlineState.h"
#include "platform/ui/TestHooks.h"

#include <gtest/gtest.h>

#include <QString>

#include <net/if.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace taluvo::test {

inline std::string DatabasePath()
{
    return HomeDir() + "/database.db";
}

inline std::string SchemaSql()
{
    return std::string(kCreatePagesTable) + "\n" + kCreateGroupsTable + "\n";
}

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureUiApplication();
        taluvo::res::RegisterResources();
        // The window's online check sees a LAN, whatever the test's network namespace holds.
        taluvo::shell::SetInterfaceSource([] {
            return std::vector<taluvo::shell::NetworkInterface> { { QStringLiteral("eth0"),
                IFF_UP | IFF_RUNNING | IFF_BROADCAST, true } };
        });
        _Module.AddMessageLoop(&m_loop);
        m_boxes = std::make_unique<taluvo::ui::test::ScopedMessageBoxHook>(
            [this](const taluvo::ui::test::MessageBoxRequest& request) {
                m_messages.push_back(request.caption + QStringLiteral(": ") + request.text);
                return IDOK;
            });
    }
    void TearDown() override
    {
        if (m_frame.IsWindow())
            m_frame.DestroyWindow();
        DrainMessages();
        _Module.RemoveMessageLoop();
        taluvo::shell::SetInterfaceSource({});
    }

    HWND Create()
    {
        RECT rect { 0, 0, 640, 450 };
        return m_frame.CreateEx(GetDesktopWindow(), &rect);
    }
    // Delivers what has been posted, WM_CLOSE of a failed start included.
    void DrainMessages()
    {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(&msg);
    }

    CMessageLoop m_loop;
    CMainFrame m_frame;
    std::vector<QString> m_messages;
    std::unique_ptr<taluvo::ui::test::ScopedMessageBoxHook> m_boxes;
};

} // namespace taluvo::test
