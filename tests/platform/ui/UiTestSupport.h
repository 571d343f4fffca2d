// The application object the user-interface tests run in (offscreen), made once per process.
#pragma once

#include "platform/ui/Application.h"

#include <memory>

namespace taluvo::test {

inline void EnsureUiApplication()
{
    static int argc = 1;
    static char name[] = "taluvo-ui-tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new taluvo::ui::CUiApplication(argc, argv);
    (void)app;
}

}  // namespace taluvo::test
