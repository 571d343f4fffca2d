#!/usr/bin/env bash
# Installs what is missing, builds with tests and runs every suite.
# TALUVO_SANITIZE=address or TALUVO_SANITIZE=thread builds the suite with that sanitizer;
# TALUVO_WERROR=ON (what .ci/run sets) makes warnings in the project's own code errors.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
./scripts/install-packages.sh
sanitize="${TALUVO_SANITIZE:-}"
build="build/test${sanitize:+-$sanitize}"
if [ -n "$sanitize" ]; then
  . scripts/sanitizers/environment.sh
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALUVO_SANITIZE="$sanitize" -DTALUVO_BUILD_BENCH=ON \
  -DTALUVO_WERROR="${TALUVO_WERROR:-OFF}"
cmake --build "$build"
jobs="$(nproc)"
cd "$build"
# Some suites bind the program's fixed ports (the toolbar server's 6790, SMTP's 25). Run in a
# private network namespace with its own loopback where the machine allows it, so another suite
# running at the same time (a sanitizer build, another checkout) never takes those ports; where it
# does not, runs of this script take turns through a machine-wide lock.
if unshare -rn true 2>/dev/null && command -v ip >/dev/null; then
  exec unshare -rn bash -c 'ip link set lo up && exec ctest --output-on-failure -j "$0" "$@"' "$jobs" "$@"
fi
exec flock "${TMPDIR:-/tmp}/taluvo-fixed-ports.lock" ctest --output-on-failure -j "$jobs" "$@"
