// The main window's tray icon on a real tray: run by a probe under a virtual X server with a tray
// host, skipped with a message when those are not installed.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>

namespace {

TEST(MainFrameTray, IconAndMenuOnARealTray)
{
    QStringList missing;
    for (const char* tool : { "xvfb-run", "Xvfb", "xauth", "trayer", "xdotool" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    if (!missing.isEmpty())
        GTEST_SKIP() << "tray check skipped: " << missing.join(QStringLiteral(", ")).toStdString()
                     << " not installed (Debian packages xvfb, xauth, trayer, xdotool)";

    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // the X11 tray, not a desktop's
    // Qt's X11 platform keeps its connections to the end of the process and reads events on a
    // thread of its own; the probe's own code is checked by the other tests.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    environment.insert(QStringLiteral("TSAN_OPTIONS"), QStringLiteral("report_bugs=0"));
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    const QString script = QStringLiteral(
        "trayer --edge top --align right --widthtype pixel --width 120 --height 24 --SetDockType true & "
        "host=$!; \"$0\"; code=$?; kill $host 2>/dev/null; wait $host 2>/dev/null; exit $code");
    run.start(QStringLiteral("xvfb-run"),
        { QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"), QStringLiteral("/bin/sh"),
            QStringLiteral("-c"), script, QStringLiteral(TALUVO_FRAME_TRAY_PROBE) });
    ASSERT_TRUE(run.waitForStarted(10000));
    const bool finished = run.waitForFinished(50000);
    if (!finished)
        run.kill();
    const QString output = QString::fromLocal8Bit(run.readAll());
    std::printf("%s", qPrintable(output));
    ASSERT_TRUE(finished) << "the tray check did not finish";
    EXPECT_EQ(run.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("left click restored the window")));
    EXPECT_TRUE(output.contains(QStringLiteral("menu command closed the window")));
}

} // namespace
