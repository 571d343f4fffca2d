#!/usr/bin/env bash
# Installs what is missing, builds a release build and starts Taluvo.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
./scripts/install-packages.sh --run
# Configure once; later builds re-run CMake by themselves when a CMakeLists.txt changes.
if [ ! -f build/release/build.ninja ]; then
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALUVO_BUILD_TESTS=OFF
fi
cmake --build build/release --target taluvo
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting on Qt's offscreen platform."
  export QT_QPA_PLATFORM=offscreen
fi
exec ./build/release/app/taluvo "$@"
