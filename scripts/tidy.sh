#!/usr/bin/env bash
# clang-tidy 14 with the checks .clang-tidy chooses (each left-out check has its reason there).
#   scripts/tidy.sh                   every C++ source file of the tree: program, tests, benchmarks
#   scripts/tidy.sh --changed [BASE]  the files a change touches (what .ci/run checks): the source
#                                     files changed since commit BASE (committed or not), and for
#                                     each changed header the source file of its name. BASE defaults
#                                     to the last commit that changed .ci/tidy-clean: the whole tree
#                                     was clean then.
#   scripts/tidy.sh --record          the whole tree; when it is clean, rewrites .ci/tidy-clean, so
#                                     that committing it makes the current tree the new base
#   scripts/tidy.sh FILE...           these source files
# Findings in the project's own headers are reported through the source files that include them.
# Needs the compile commands of a configured build: build/test (./test.sh makes it), or the build
# folder TALUVO_TIDY_BUILD names. About 5 s per file on one core; runs as many at once as there
# are cores (TALUVO_TIDY_JOBS).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build="${TALUVO_TIDY_BUILD:-build/test}"
tidy=clang-tidy-14
if ! command -v "$tidy" >/dev/null; then
    echo "tidy: $tidy not found (scripts/install-packages.sh --ci installs it)" >&2
    exit 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
    echo "tidy: no $build/compile_commands.json: configure a build first (./test.sh)" >&2
    exit 2
fi

files=()
record=false
if [ "${1:-}" = "--changed" ]; then
    base="${2:-$(git log -1 --format=%H -- .ci/tidy-clean)}"
    if [ -z "$base" ]; then
        echo "tidy: no commit changed .ci/tidy-clean (a shallow clone?): name a base commit" >&2
        exit 2
    fi
    while IFS= read -r path; do
        case "$path" in
        *.cpp) [ -f "$path" ] && files+=("$path") ;;
        *.h) [ -f "${path%.h}.cpp" ] && files+=("${path%.h}.cpp") ;;
        esac
    done < <(git diff --name-only "$base" -- '*.cpp' '*.h' | sort -u)
    if [ ${#files[@]} -eq 0 ]; then
        echo "tidy: no source file changed since $base"
        exit 0
    fi
    mapfile -t files < <(printf '%s\n' "${files[@]}" | sort -u)
elif [ "${1:-}" = "--record" ]; then
    record=true
    mapfile -t files < <(git ls-files '*.cpp')
elif [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files '*.cpp')
fi

# Only files the build compiles have compile commands (a benchmark left out of this build, say).
mapfile -t known < <(python3 -c '
import json, os, sys
root = os.getcwd()
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if path.startswith(root + os.sep):
        print(os.path.relpath(path, root))' "$build/compile_commands.json" | sort -u)
mapfile -t files < <(comm -12 <(printf '%s\n' "${files[@]}" | sort -u) <(printf '%s\n' "${known[@]}"))
if [ ${#files[@]} -eq 0 ]; then
    echo "tidy: none of the files is compiled in $build"
    exit 0
fi
echo "tidy: ${#files[@]} files"

# One clang-tidy per file, in parallel; the findings are printed at the end, file by file.
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
export tidy build out
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "${TALUVO_TIDY_JOBS:-$(nproc)}" sh -c '
    log="$out/$(printf %s "$1" | tr / _).log"
    if ! "$tidy" -p "$build" --quiet "$1" >"$log" 2>&1; then
        echo "$1" >>"$out/failed"
    fi
    # clang-tidy prints a count of the warnings it suppressed in other code: not a finding.
    grep -v "^[0-9]* warnings\? generated\.$" "$log" | grep -v "^Suppressed [0-9]* warnings" >"$log.findings" || true
' sh
cat "$out"/*.findings
if [ -s "$out/failed" ]; then
    echo "tidy: findings in $(sort -u "$out/failed" | wc -l) files:" >&2
    sort -u "$out/failed" | sed 's/^/  /' >&2
    exit 1
fi
echo "tidy: no findings"
if $record; then
    {
        echo "# The base of scripts/tidy.sh --changed (what .ci/run checks): the last commit that changed"
        echo "# this file. scripts/tidy.sh --record rewrites it after a whole-tree run without findings."
        echo "clang-tidy 14, ${#files[@]} files, no findings: $(date -u +%Y-%m-%d)"
    } >.ci/tidy-clean
    echo "tidy: .ci/tidy-clean rewritten; commit it to make this tree the base"
fi
