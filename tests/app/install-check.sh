#!/bin/sh
# Installs the build into a folder of its own and checks what a desktop needs to show the program:
# both programs side by side, a valid desktop entry naming them, and the icon in every size.
# Usage: install-check.sh <build folder>
set -eu
build="$1"
prefix="$(mktemp -d "${TMPDIR:-/tmp}/taluvo-install.XXXXXX")"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail=0
for program in taluvo taluvo-crashreport; do
    [ -x "$prefix/bin/$program" ] || { echo "missing: bin/$program"; fail=1; }
done
entry="$prefix/share/applications/taluvo.desktop"
if [ ! -f "$entry" ]; then
    echo "missing: share/applications/taluvo.desktop"; fail=1
else
    if command -v desktop-file-validate >/dev/null 2>&1; then
        desktop-file-validate "$entry" || fail=1
    fi
    grep -qx 'Exec=taluvo' "$entry" || { echo "the entry does not start taluvo"; fail=1; }
    grep -qx 'Icon=taluvo' "$entry" || { echo "the entry names no icon taluvo"; fail=1; }
fi
# Each PNG's own size must be its folder's (one interpreter for all: starting one is slow under load).
python3 - "$prefix/share/icons/hicolor" <<'PY' || fail=1
import struct, sys
bad = 0
for size in (16, 24, 32, 48, 64, 128, 256):
    path = "%s/%dx%d/apps/taluvo.png" % (sys.argv[1], size, size)
    try:
        head = open(path, "rb").read(24)
    except OSError:
        print("missing: icon %dx%d" % (size, size)); bad = 1; continue
    if head[:8] != b"\x89PNG\r\n\x1a\n" or struct.unpack(">II", head[16:24]) != (size, size):
        print("icon %dx%d is not a PNG of that size" % (size, size)); bad = 1
sys.exit(bad)
PY
[ "$fail" -eq 0 ] && echo "installed and checked under $prefix"
exit "$fail"
