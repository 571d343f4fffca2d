// What a window manager makes of the layer's dialogs: a fixed-size dialog gets no minimise or
// maximise box unless its style asks for one. Runs a probe under a virtual X server with openbox.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>

namespace {

TEST(UiWindowManager, DialogsAskOnlyForTheTitleBarBoxesTheirStyleHas)
{
    QStringList missing;
    for (const char* tool : { "xvfb-run", "Xvfb", "xauth", "openbox", "xprop" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    if (!missing.isEmpty())
        GTEST_SKIP() << missing.join(QLatin1Char(' ')).toStdString()
                     << " not installed (Debian packages xvfb, xauth, openbox, x11-utils)";
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    // Added to the sanitizer options the run was given, which the probe needs as well.
    auto append = [&environment](const QString& name, const QString& option) {
        const QString present = environment.value(name);
        environment.insert(name, present.isEmpty() ? option : present + QLatin1Char(':') + option);
    };
    append(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    append(QStringLiteral("TSAN_OPTIONS"), QStringLiteral("report_bugs=0"));
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    // openbox first; the probe waits for it to manage each dialog.
    const QString script = QStringLiteral("mkdir -p \"$1\"; openbox --sm-disable >/dev/null 2>&1 & wm=$!; \"$0\" "
                                          "\"$1\"; code=$?; kill $wm 2>/dev/null; wait $wm 2>/dev/null; "
                                          "exit $code");
    run.start(QStringLiteral("xvfb-run"),
        { QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 800x600x24"), QStringLiteral("/bin/sh"),
            QStringLiteral("-c"), script, QStringLiteral(TALUVO_UI_WM_PROBE), QStringLiteral(TALUVO_UI_ARTEFACT_DIR) });
    ASSERT_TRUE(run.waitForStarted(10000)) << "xvfb-run did not start";
    ASSERT_TRUE(run.waitForFinished(50000)) << "the probe did not finish";
    const QString output = QString::fromLocal8Bit(run.readAll());
    ASSERT_EQ(run.exitCode(), 0) << output.toStdString();
    // Per dialog: what the window manager allows, and the decorations the window asks for
    // (_MOTIF_WM_HINTS: flags, functions, decorations; decorations 0x20 minimise, 0x40 maximise).
    auto line = [&](const QString& prefix) {
        for (const QString& l : output.split(QLatin1Char('\n')))
            if (l.startsWith(prefix))
                return l;
        return QString();
    };
    auto decorations = [&](int id) {
        const QStringList fields
            = line(QStringLiteral("hints %1:").arg(id)).section(QLatin1Char('='), 1).split(QLatin1Char(','));
        return fields.size() >= 3 ? fields[2].trimmed().toUInt(nullptr, 16) : 0xFFFFFFFFu;
    };
    const QString fixed = line(QStringLiteral("dialog 971:"));
    const QString boxes = line(QStringLiteral("dialog 972:"));
    ASSERT_TRUE(fixed.contains(QLatin1String("_NET_WM_ACTION_CLOSE"))) << output.toStdString();
    ASSERT_TRUE(boxes.contains(QLatin1String("_NET_WM_ACTION_CLOSE"))) << output.toStdString();
    EXPECT_FALSE(fixed.contains(QLatin1String("_NET_WM_ACTION_MAXIMIZE"))) << fixed.toStdString();
    EXPECT_FALSE(boxes.contains(QLatin1String("_NET_WM_ACTION_MAXIMIZE"))) << boxes.toStdString();
    EXPECT_EQ(decorations(971) & 0x60u, 0u) << output.toStdString();
    EXPECT_EQ(decorations(972) & 0x60u, 0x20u) << output.toStdString();
}

} // namespace
