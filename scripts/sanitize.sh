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

suppressions="$PWD/scripts/sanitizers"
# Qt, fontconfig and GLib keep caches for the life of the process that the leak checker reports
# as leaks; only those are suppressed. A report makes the test fail.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$suppressions/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
# Qt and the other system libraries are not built with the thread sanitizer: their own accesses are
# never seen, and their locks (futexes) are invisible to it, so what they do through the
# allocator and the C library (a thread pool freeing a task's memory, an image scaled on Qt's
# threads) would be reported as races with nothing of the program in them. Those calls are left
# out; every access of the program's own code is still checked, also when Qt calls it.
# A child started with vfork semantics (QProcess) shares the parent's memory, and with it the
# sanitizer's note that a threaded process forked: the parent must not die of it at its next thread.
export TSAN_OPTIONS="suppressions=$suppressions/tsan.supp:halt_on_error=0:exitcode=66:second_deadlock_stack=1:ignore_noninstrumented_modules=1:die_after_fork=0:${TSAN_OPTIONS:-}"

jobs="${TALUVO_TEST_JOBS:-4}"
cd "$build"
# As in ./test.sh: the fixed ports (6790, 25) in a private network namespace where allowed.
if unshare -rn true 2>/dev/null && command -v ip >/dev/null; then
  exec unshare -rn bash -c 'ip link set lo up && exec ctest --output-on-failure -j "$0" "$@"' "$jobs" "$@"
fi
exec flock "${TMPDIR:-/tmp}/taluvo-fixed-ports.lock" ctest --output-on-failure -j "$jobs" "$@"
