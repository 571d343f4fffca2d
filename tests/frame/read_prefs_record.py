#!/usr/bin/python3
"""Prints settings of the stored record, read with struct at their offsets of the layout table.

Usage: read_prefs_record.py DATABASE NAME...

One line "NAME=VALUE" per name: flags and integers as decimal numbers, texts up to their first NUL.
"""

import os
import sqlite3
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "core", "db"))
from check_prefs_record import LAYOUT, stored_record  # noqa: E402


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    connection = sqlite3.connect(sys.argv[1])
    record = stored_record(connection)
    layout = {name: (offset, kind) for name, offset, kind, _ in LAYOUT}
    for name in sys.argv[2:]:
        offset, kind = layout[name]
        (value,) = struct.unpack_from("<" + kind, record, offset)
        if isinstance(value, bytes):
            value = value.split(b"\0", 1)[0].decode("utf-8", "replace")
        print("%s=%s" % (name, value))


if __name__ == "__main__":
    main()
