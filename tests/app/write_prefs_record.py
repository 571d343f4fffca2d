#!/usr/bin/python3
"""Changes settings in the stored record of a database, as another tool would.

Usage: write_prefs_record.py DATABASE NAME=VALUE...

Decodes the PREFS row, packs each value with struct at its offset of the layout table (flags and
integers as decimal numbers, texts as UTF-8 cut to the field), and stores the record encoded again
as text, as the program stores it.
"""

import os
import sqlite3
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "core", "db"))
from check_prefs_record import LAYOUT, RECORD_SIZE, TEXT_SIZE, decode  # noqa: E402

# The escapes of the encoding: these bytes cannot stand in the stored text as they are.
ESCAPES = {0: 1, 1: 2, 39: 3}
# Any offset but 0 (the text's end) and the quote will do.
OFFSET = 2


def encode(record):
    """The inverse of decode."""
    out = bytearray([OFFSET])
    for c in record:
        d = (c - OFFSET) & 0xFF
        if d in ESCAPES:
            out += bytes([1, ESCAPES[d]])
        else:
            out.append(d)
    return bytes(out)


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    connection = sqlite3.connect(sys.argv[1])
    connection.text_factory = bytes
    rows = connection.execute("SELECT blobPrefs FROM PREFS").fetchall()
    if len(rows) != 1:
        raise SystemExit("PREFS holds %d rows, expected 1" % len(rows))
    record = bytearray(decode(rows[0][0]))
    if len(record) != RECORD_SIZE:
        raise SystemExit("stored record has %d bytes" % len(record))
    layout = {name: (offset, kind) for name, offset, kind, _ in LAYOUT}
    for setting in sys.argv[2:]:
        name, value = setting.split("=", 1)
        offset, kind = layout[name]
        if kind.endswith("s"):
            packed = value.encode("utf-8")[:TEXT_SIZE - 1]
        else:
            packed = int(value)
        struct.pack_into("<" + kind, record, offset, packed)
    with connection:
        connection.execute("UPDATE PREFS SET blobPrefs = CAST(? AS TEXT)", (encode(record),))


if __name__ == "__main__":
    main()
