#!/usr/bin/env bash
# Installs what is missing, builds a release build and starts Taluvo.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
./scripts/install-packages.sh --run
# Configure once; later builds re-run CMake by themselves when a CMakeLists.txt changes.
if [ ! -f build/release/build.ninja ]; then
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALUVO_BUILD_TESTS=OFF
fi
# Every start builds what changed; a normal start prints nothing, so the two lines of a build with
# nothing to do (the check of the source folders, "no work to do") are left out.
cmake --build build/release --target taluvo 2>&1 |
  { grep --line-buffered -vE '^\[0/[0-9]+\] Re-checking globbed directories\.\.\.$|^ninja: no work to do\.$' || true; }
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting on Qt's offscreen platform."
  export QT_QPA_PLATFORM=offscreen
fi
exec ./build/release/app/taluvo "$@"
