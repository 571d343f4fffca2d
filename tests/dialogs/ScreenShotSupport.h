// What the dialogs' screenshot tests share: the X tools they need, a program run under a virtual X
// server with openbox, and a check that a saved picture shows more than an empty window.
#pragma once

#include <QImage>

#include <sys/wait.h>

#include <cstdlib>
#include <set>
#include <string>

namespace taluvo::test {

// The first X tool that is not installed, or an empty string when all are.
inline std::string MissingXTool()
{
    for (const char* tool : { "xvfb-run", "Xvfb", "xauth", "openbox" })
        if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0)
            return tool;
    return {};
}

// Runs program with its (already quoted) arguments on a virtual X server under openbox, its
// output into log; the program's exit status.
inline int RunUnderXvfb(
    const std::string& runtimeDir, const std::string& program, const std::string& args, const std::string& log)
{
    const std::string command = "XDG_RUNTIME_DIR='" + runtimeDir
        + "' QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1280x1024x24' sh -c "
          "'openbox --sm-disable >/dev/null 2>&1 & wm=$!; \"$0\" \"$@\"; rc=$?; kill $wm; exit $rc' '"
        + program + "' " + args + " >'" + log + "' 2>&1";
    const int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// More than a handful of colours: the window was drawn, not just cleared.
inline size_t ColourCount(const QImage& image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

} // namespace taluvo::test
