#!/usr/bin/env bash
# The platform boundary: outside platform/ the program uses Qt only for its text types and no
# system headers; everything the system offers is reached through platform/. This check fails on
# any other angle-bracket include in the program's folders, unless the exception list below names
# the file and the header with its reason. Tests and benchmarks are not checked: they drive the
# real system and the real windows on purpose.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Qt headers that carry text.
allowed_qt='^(QString|QByteArray|QStringView|QChar|QStringList)$'

# file|header|reason. Keep the reason honest: an entry that is only waiting for a move says so.
exceptions='
core/Crc32.cpp|immintrin.h|compiler intrinsics for the carry-less multiply: no system interface
core/db/SqlWrapper.cpp|sqlite3.h|the one wrapper over the database library; SQLite is the program'"'"'s storage, the same on every system
import/BookmarksHtml.cpp|libxml/HTMLparser.h|the bookmark file is parsed by the HTML parser library directly; no system interface
import/BookmarksHtml.cpp|libxml/parser.h|as above
'

is_exception() {
    local file=$1 header=$2
    grep -qxF -- "$file|$header" <(printf '%s\n' "$exceptions" | cut -d'|' -f1,2)
}

status=0
while IFS= read -r file; do
    while IFS= read -r header; do
        # The C++ standard library: <vector>, <cstdint>, <iosfwd>, ... (no extension, no folder).
        if [[ $header != */* && $header != *.* && $header != Q* ]]; then
            continue
        fi
        if [[ $header =~ $allowed_qt ]] || is_exception "$file" "$header"; then
            continue
        fi
        echo "$file: #include <$header> crosses the platform boundary (use or add a function in platform/)" >&2
        status=1
    done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<([^>]+)>.*/\1/p' "$file")
done < <(git ls-files -- '*.h' '*.cpp' | grep -vE '^(platform|tests|bench)/')

# An exception whose include is gone is dropped from the list, so the list stays true.
while IFS='|' read -r file header reason; do
    [[ -z $file ]] && continue
    if [[ ! -f $file ]] || ! grep -qE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<$header>" "$file"; then
        echo "scripts/check-includes.sh: the exception '$file <$header>' is no longer needed: remove it" >&2
        status=1
    fi
done <<< "$exceptions"

exit $status
