# Sourced by scripts/sanitize.sh and ./test.sh: the run-time options of the sanitizer builds, so a
# suite reports the same way whichever script runs it. A report makes the test fail.
# Qt, fontconfig, GLib and D-Bus keep caches for the life of the process that the leak checker
# reports as leaks; only those are suppressed (lsan.supp beside this file).
taluvo_sanitizers="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$taluvo_sanitizers/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
# Qt and the other system libraries are not built with the thread sanitizer: their own accesses are
# never seen, and their locks (futexes) are invisible to it, so what they do through the
# allocator and the C library (a thread pool freeing a task's memory, an image scaled on Qt's
# threads) would be reported as races with nothing of the program in them. Those calls are left
# out; every access of the program's own code is still checked, also when Qt calls it.
# A child started with vfork semantics (QProcess) shares the parent's memory, and with it the
# sanitizer's note that a threaded process forked: the parent must not die of it at its next thread.
export TSAN_OPTIONS="suppressions=$taluvo_sanitizers/tsan.supp:halt_on_error=0:exitcode=66:second_deadlock_stack=1:ignore_noninstrumented_modules=1:die_after_fork=0:${TSAN_OPTIONS:-}"
unset taluvo_sanitizers
