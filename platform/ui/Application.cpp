#include "platform/ui/Application.h"

#include "platform/ui/detail/Core.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

// Fontconfig keeps its configuration for the life of the process and never frees it; a leak check
// at exit (address-sanitizer builds) must not count that against the program.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\n";
}

namespace taluvo::ui {

namespace {

bool HasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

CUiApplication::CUiApplication(int& argc, char** argv)
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!(platform && *platform) && !HasDisplay()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::fprintf(stderr, "taluvo: no display found: running without windows on the screen\n");
    }
    m_app = std::make_unique<QApplication>(argc, argv);
    // Windows are closed by the program, never by Qt on its own when the last one goes.
    m_app->setQuitOnLastWindowClosed(false);
    detail::EnsureUiSetup();
}

CUiApplication::~CUiApplication()
{
    detail::DeleteBuriedWidgets();
}

bool CUiApplication::Headless() const
{
    return IsHeadless();
}

} // namespace taluvo::ui
