#!/usr/bin/env bash
# The layout of every C++ file (program, tests, benchmarks) is what .clang-format says, as
# clang-format 14 (Debian 12's) writes it. Other versions lay some constructs out differently, so
# the check runs only with that version: a newer one would fail files that are right.
#   scripts/check-format.sh           fails on any difference, listing the files
#   scripts/check-format.sh --fix     rewrites the files instead
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
format=clang-format-14
if ! command -v "$format" >/dev/null; then
    echo "check-format: $format not found (scripts/install-packages.sh --ci installs it)" >&2
    exit 2
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    printf '%s\0' "${files[@]}" | xargs -0 -n 50 -P "$(nproc)" "$format" -i
    exit 0
fi
# Files in batches; a batch that fails is looked at file by file, so each name is printed once,
# whole (the diagnostics of parallel runs would interleave).
check_batch='"$0" --dry-run --Werror "$@" >/dev/null 2>&1 && exit 0
for f; do "$0" --dry-run --Werror "$f" >/dev/null 2>&1 || echo "$f"; done'
bad="$(printf '%s\0' "${files[@]}" | xargs -0 -n 40 -P "$(nproc)" sh -c "$check_batch" "$format" | sort)"
if [ -n "$bad" ]; then
    echo "check-format: these files differ from what $format makes of them (scripts/check-format.sh --fix):" >&2
    sed 's/^/  /' <<<"$bad" >&2
    exit 1
fi
