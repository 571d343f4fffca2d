// The user-interface application of a process: made once on the thread that will own the windows.
// Started with no display, it runs on Qt's offscreen platform and says so, so the program and its
// tests run anywhere; message boxes and dialogs then behave as UserApi.h describes.
#pragma once

#include <memory>

class QApplication;

namespace taluvo::ui {

class CUiApplication {
public:
    CUiApplication(int& argc, char** argv);
    ~CUiApplication();
    CUiApplication(const CUiApplication&) = delete;
    CUiApplication& operator=(const CUiApplication&) = delete;

    // True when nobody can see the windows.
    bool Headless() const;

private:
    std::unique_ptr<QApplication> m_app;
};

} // namespace taluvo::ui
