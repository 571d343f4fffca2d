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
for size in 16 24 32 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/taluvo.png"
    if [ ! -f "$icon" ]; then
        echo "missing: icon ${size}x${size}"; fail=1
    elif command -v python3 >/dev/null 2>&1; then
        # The PNG's own size must be the folder's.
        python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); w,h=struct.unpack(">II",d[16:24]); sys.exit(0 if (w,h)==(int(sys.argv[2]),)*2 else 1)' "$icon" "$size" \
            || { echo "icon ${size}x${size} has another size"; fail=1; }
    fi
done
[ "$fail" -eq 0 ] && echo "installed and checked under $prefix"
exit "$fail"
