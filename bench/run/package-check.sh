#!/usr/bin/env bash
# What ./run.sh spends on its package check when nothing is missing: the check of the build's
# packages (scripts/install-packages.sh --run) and of the whole list, min and median of three runs,
# beside the cost of one dpkg query per package (how the check used to ask). Target: a small part
# of a second, so a start goes straight to the build check and the window.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
load="$(cut -d' ' -f1-3 /proc/loadavg)"
seconds() { local t0 t1; t0=$(date +%s%N); "$@" >/dev/null; t1=$(date +%s%N); echo $(((t1 - t0) / 1000000)); }
per_package() {
  grep -v '^\s*#' "$root/scripts/packages.txt" | sed '/^\s*$/d' | while read -r pkg; do
    dpkg-query -W -f='${Status}' "$pkg" >/dev/null 2>&1 || true
  done
}
report() {
  local name="$1"; shift
  local a b c
  a=$(seconds "$@"); b=$(seconds "$@"); c=$(seconds "$@")
  read -r min median < <(printf '%s\n' "$a" "$b" "$c" | sort -n | awk 'NR==1{m=$1} NR==2{d=$1} END{print m, d}')
  printf '%-34s min %5d ms  median %5d ms\n' "$name" "$min" "$median"
}
echo "load average: $load"
report "install-packages.sh --run" "$root/scripts/install-packages.sh" --run
report "install-packages.sh (all)" "$root/scripts/install-packages.sh"
report "one dpkg query per package (all)" per_package
