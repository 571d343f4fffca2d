#!/bin/sh
# Runs a test program on a virtual X server of its own with a window manager (openbox), so frames,
# stacking and activation are the window manager's. With --compositor a compositing manager
# (xcompmgr) runs as well. Exits 77 (skipped) when a tool is missing.
compositor=""
if [ "$1" = "--compositor" ]; then
    compositor=xcompmgr
    shift
fi
for tool in xvfb-run Xvfb xauth openbox xdotool xprop $compositor; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (Debian packages xvfb, xauth, openbox, xdotool, x11-utils, xcompmgr)"
        exit 77
    fi
done
export QT_QPA_PLATFORM=xcb TALUVO_X11_COMPOSITOR="$compositor"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
# Qt's X11 platform keeps its D-Bus connection and an event thread of its own to the end of the
# process, which sanitizers cannot follow in an uninstrumented Qt.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}report_bugs=0"
exec xvfb-run -a -s "-screen 0 1024x768x24" /bin/sh -c '
    openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    cm=""
    if [ -n "$TALUVO_X11_COMPOSITOR" ]; then
        xcompmgr >/dev/null 2>&1 &
        cm=$!
    fi
    "$@"
    code=$?
    kill $wm $cm 2>/dev/null
    wait
    exit $code' sh "$@"
