#!/usr/bin/env bash
# Installs the Debian packages of scripts/packages.txt that are not installed yet: those the build,
# the program and the tests need; with --run only those the build and the program need (the list's
# first section); with --ci also those of CI's checks (the last section).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
list="$here/packages.txt"
case "${1:-}" in
  --run) list_text="$(sed '/^# tests/,$d' "$list")" ;;
  --ci) list_text="$(cat "$list")" ;;
  *) list_text="$(sed '/^# ci/,$d' "$list")" ;;
esac
mapfile -t wanted < <(grep -v '^\s*#' <<<"$list_text" | sed '/^\s*$/d')
# One query for the whole list: a query per package costs a dpkg start each, seconds at every start.
declare -A installed=()
while IFS=$'\t' read -r name status; do
  [ "$status" = "install ok installed" ] && installed["$name"]=1
done < <(dpkg-query -W -f='${Package}\t${Status}\n' "${wanted[@]}" 2>/dev/null || true)
missing=()
for pkg in "${wanted[@]}"; do
  [ -n "${installed[$pkg]:-}" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
