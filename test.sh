#!/usr/bin/env bash
# Installs what is missing, builds with tests and runs every suite.
# TALUVO_SANITIZE=address or TALUVO_SANITIZE=thread builds the suite with that sanitizer.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
./scripts/install-packages.sh
sanitize="${TALUVO_SANITIZE:-}"
build="build/test${sanitize:+-$sanitize}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALUVO_SANITIZE="$sanitize" -DTALUVO_BUILD_BENCH=ON
cmake --build "$build"
jobs="$(nproc)"
cd "$build"
ctest --output-on-failure -j "$jobs" "$@"
