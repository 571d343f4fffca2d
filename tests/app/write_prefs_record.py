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
from check_prefs_record import LAYOUT, TEXT_SIZE, encode, stored_record  # noqa: E402


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    connection = sqlite3.connect(sys.argv[1])
    record = bytearray(stored_record(connection))
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
