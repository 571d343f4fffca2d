// What a benchmark of the main window needs around it: a program folder of its own, the
// user-interface application with the program's resources, the thread's message loop, and message
// boxes answered at once (their text goes to stderr).
#pragma once

#include "frame/mainfrm.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace taluvo::bench {

// Ends the message loop once the main window has no check pending or running: an idle handler
// sees that after the last finished notice.
class CChecksDone : public CIdleHandler {
public:
    explicit CChecksDone(CCheckLists& checks)
        : m_checks(checks)
    {
    }
    BOOL OnIdle() override
    {
        if (m_checks.m_ctxsPending.empty() && m_checks.m_ctxsRun.empty())
            PostQuitMessage(0);
        return FALSE;
    }

private:
    CCheckLists& m_checks;
};

class CMainWindowBench {
public:
    CMainWindowBench(int& argc, char** argv)
        : m_environment(m_home)
        , m_app(argc, argv)
    {
        taluvo::res::RegisterResources();
        _Module.AddMessageLoop(&m_loop);
    }

    std::string DatabasePath() const { return m_home.filePath(QStringLiteral("database.db")).toStdString(); }
    CMessageLoop& Loop() { return m_loop; }

private:
    // Set before the application exists: it reads them.
    struct SEnvironment {
        explicit SEnvironment(const QTemporaryDir& home)
        {
            ::setenv("TALUVO_HOME", home.path().toLocal8Bit().constData(), 1);
            ::setenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit().constData(), 1);
            // A first start writes the autostart entry: into the run's own folder, not the user's.
            ::setenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit().constData(), 1);
            if (!std::getenv("QT_QPA_PLATFORM"))
                ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
    };

    QTemporaryDir m_home;
    SEnvironment m_environment;
    taluvo::ui::CUiApplication m_app;
    CMessageLoop m_loop;
    taluvo::ui::test::ScopedMessageBoxHook m_boxes { [](const taluvo::ui::test::MessageBoxRequest& box) {
        std::fprintf(stderr, "box: %s\n", box.text.toLocal8Bit().constData());
        return IDOK;
    } };
};

} // namespace taluvo::bench
