// The program on a real X server (a virtual one, with a tray host): the main window at 640x450 in
// the middle of the screen with its bars, kept as a screenshot, and the autostart entry its first
// start wrote; and SIGTERM while a modal box is open still ends in the normal shutdown.
#include "tests/app/AppTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace taluvo::test;

namespace {

bool Installed(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Waits for a window by its exact title, prints its geometry, ...
constexpr char kScript[] = R"SH(
set -u
# A box is kept once its text is drawn (anti-aliased text gives it more than a few colours).
shoot() {
    for i in $(seq 1 100); do
        import -window "$1" "$2"
        [ "$(identify -format %k "$2")" -gt 12 ] && break
    done
}
trayer --edge top --align right --widthtype pixel --width 120 --height 24 --SetDockType true & host=$!

XDG_CONFIG_HOME="$HOME1/config" TALUVO_HOME="$HOME1" "$PROGRAM" & app=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Taluvo$' | head -n 1)
echo "main window: $wid"
xdotool getwindowgeometry "$wid"
# The screenshot is kept once the window has painted its bars and tree (more than a few colours).
for i in $(seq 1 100); do
    import -window root "$SHOT"
    colours=$(identify -format %k "$SHOT")
    [ "$colours" -gt 30 ] && break
done
echo "colours: $colours"
kill -TERM $app; wait $app; echo "normal exit: $?"

# A start that fails shows its box modally; SIGTERM ends the box and the program as Exit does.
TALUVO_HOME="$HOME2" "$PROGRAM" & app=$!
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Error$' | head -n 1)
echo "error box: $box"
shoot "$box" "$ERROR_SHOT"
kill -TERM $app; wait $app; echo "modal exit: $?"

# Stored settings that cannot be used: the warning comes once the main window is up.
XDG_CONFIG_HOME="$HOME3/config" TALUVO_HOME="$HOME3" "$PROGRAM" & app=$!
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Warning$' | head -n 1)
echo "warning box: $box"
shoot "$box" "$WARNING_SHOT"
kill -TERM $app; wait $app; echo "warning exit: $?"

kill $host 2>/dev/null; wait $host 2>/dev/null
exit 0
)SH";

TEST(ProgramOnScreen, MainWindowCentredWithBarsAndSignalDuringAModalBox)
{
    for (const char* tool : { "xvfb-run", "Xvfb", "xauth", "trayer", "xdotool", "import", "identify", "sqlite3" })
        if (!Installed(tool))
            GTEST_SKIP() << "screen check skipped: " << tool
                         << " not installed (Debian packages xvfb, xauth, trayer, xdotool, imagemagick)";

    TempDir first;
    TempDir second;
    TempDir third;
    TempDir runtime;
    // The second start fails: a PAGES view stands where the table belongs.
    Sqlite(second.File("database.db"), "CREATE VIEW PAGES AS SELECT 1 AS id;\n");
    // The third start finds a settings row that decodes to more than the record holds.
    Sqlite(third.File("database.db"),
        "CREATE TABLE PREFS (blobPrefs BLOB);\nINSERT INTO PREFS VALUES ('A' || replace(hex(zeroblob(2000)), '0', "
        "'B'));\n");
    const std::string artefacts = TALUVO_APP_ARTEFACT_DIR;
    std::system(("mkdir -p '" + artefacts + "'").c_str());
    const std::string shot = artefacts + "/main-window.png";
    const std::string output = first.File("screen.txt");

    CProgram run({ "/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1024x768x24", "/bin/sh", "-c", kScript },
        { "PROGRAM=" + std::string(TALUVO_PROGRAM), "HOME1=" + first.Path(), "HOME2=" + second.Path(),
            "HOME3=" + third.Path(), "SHOT=" + shot, "ERROR_SHOT=" + artefacts + "/init-error-box.png",
            "WARNING_SHOT=" + artefacts + "/settings-warning-box.png", "XDG_RUNTIME_DIR=" + runtime.Path(),
            "QT_QPA_PLATFORM=xcb", "DBUS_SESSION_BUS_ADDRESS=", "ASAN_OPTIONS=detect_leaks=0",
            "TSAN_OPTIONS=report_bugs=0" },
        output);
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.Wait(std::chrono::seconds(100)), 0);
    const std::string said = ReadFile(output);
    std::printf("%s", said.c_str());
    EXPECT_NE(said.find("Position: 192,159"), std::string::npos) << said;
    EXPECT_NE(said.find("Geometry: 640x450"), std::string::npos) << said;
    EXPECT_NE(said.find("normal exit: 1"), std::string::npos) << said;
    EXPECT_EQ(said.find("error box: \n"), std::string::npos) << said;
    EXPECT_NE(said.find("modal exit: 1"), std::string::npos) << said;
    EXPECT_EQ(said.find("warning box: \n"), std::string::npos) << said;
    EXPECT_NE(said.find("warning exit: 1"), std::string::npos) << said;
    EXPECT_EQ(Sqlite(first.File("database.db"), "SELECT COUNT(*) FROM PREFS;"), "1");
    // The failed start wrote no settings.
    EXPECT_EQ(Sqlite(second.File("database.db"), ".tables"), "PAGES");
    // The first start, with "Start with the desktop session" ticked as it is by default, wrote the
    // autostart entry of this program; the start over stored settings wrote none.
    const std::string entry = ReadFile(first.File("config/autostart/taluvo.desktop"));
    EXPECT_NE(entry.find("Exec=\"" TALUVO_PROGRAM "\"\n"), std::string::npos) << entry;
    EXPECT_EQ(ReadFile(third.File("config/autostart/taluvo.desktop")), "");
}

} // namespace
