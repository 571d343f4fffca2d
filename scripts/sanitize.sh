#!/usr/bin/env bash
# Builds the program and its suites with a sanitizer and runs the suites under it:
#   scripts/sanitize.sh address [ctest arguments...]   address and undefined-behaviour sanitizers
#   scripts/sanitize.sh thread  [ctest arguments...]   thread sanitizer
# The build goes to build/asan or build/tsan. Extra arguments go to ctest, e.g. -R 'Toolbar|Updater'.
# Slow (a whole build and several times the normal run time), so neither ./test.sh nor CI runs it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
kind="${1:-}"
case "$kind" in
  address) build=build/asan ;;
  thread) build=build/tsan ;;
  *) echo "usage: $0 address|thread [ctest arguments...]" >&2; exit 2 ;;
esac
shift
./scripts/install-packages.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALUVO_SANITIZE="$kind"
nice cmake --build "$build" -j "${TALUVO_BUILD_JOBS:-4}"

. scripts/sanitizers/environment.sh

jobs="${TALUVO_TEST_JOBS:-4}"
cd "$build"
# As in ./test.sh: the fixed ports (6790, 25) in a private network namespace where allowed.
if unshare -rn true 2>/dev/null && command -v ip >/dev/null; then
  exec unshare -rn bash -c 'ip link set lo up && exec ctest --output-on-failure -j "$0" "$@"' "$jobs" "$@"
fi
exec flock "${TMPDIR:-/tmp}/taluvo-fixed-ports.lock" ctest --output-on-failure -j "$jobs" "$@"
