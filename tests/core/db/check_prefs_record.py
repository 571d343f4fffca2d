#!/usr/bin/python3
"""Checks the settings row of a database against an independent description of the record.

Usage: check_prefs_record.py DATABASE

Packs the default settings with struct at the offsets of the layout table, decodes the PREFS row of
the database with its own reading of the binary-to-text encoding, and compares the two byte by byte.
Exit status 0 when they match; otherwise the differences are printed.
"""

import sqlite3
import struct
import sys

RECORD_SIZE = 3177
TEXT_SIZE = 260

# name, offset, kind (B flag, i integer, 260s text), default
LAYOUT = [
    ("PopupAlertEnable", 0, "B", 1),
    ("PopupAlertTimeout", 1, "i", 10),
    ("PopupAlertItems", 5, "i", 5),
    ("AlertSoundEnable", 9, "B", 1),
    ("AlertSoundDefault", 10, "B", 1),
    ("AlertSoundFilePath", 11, "260s", b""),
    ("ErrorSoundEnable", 532, "B", 1),
    ("ErrorSoundDefault", 533, "B", 1),
    ("ErrorSoundFilePath", 534, "260s", b""),
    ("RunCmdEnable", 271, "B", 0),
    ("RunCmdText", 272, "260s", b""),
    ("LogEnable", 794, "B", 0),
    ("LogFilePath", 795, "260s", b""),
    ("AutoDetectOnline", 1055, "B", 1),
    ("ConnectTimeout", 1056, "i", 30),
    ("RecvTimeout", 1060, "i", 15),
    ("SendTimeout", 1064, "i", 15),
    ("UseProxy", 1068, "B", 0),
    ("ProxyServer", 1069, "260s", b""),
    ("ProxyPort", 1329, "i", 3128),
    ("ProxyUseAuth", 1333, "B", 0),
    ("ProxyUserName", 1334, "260s", b""),
    ("ProxyPassword", 1594, "260s", b""),
    ("ProxyExcludeList", 1854, "260s", b""),
    ("ShowToolBar", 2114, "B", 1),
    ("ShowStatusBar", 2115, "B", 1),
    ("UseDefaultBrowser", 2116, "B", 1),
    ("OpenNewWindow", 2117, "B", 1),
    ("UserBrowserPath", 2118, "260s", b""),
    ("DefaultUpdateInterval", 2378, "i", 86400),
    ("UseEMailNotification", 2382, "B", 0),
    ("CSVFile", 2383, "260s", b""),
    ("SmtpServer", 2643, "260s", b""),
    ("EMailFromAddr", 2903, "260s", b""),
    ("AutoDownloadOnline", 3163, "B", 1),
    ("AutoSetDescr", 3164, "B", 1),
    ("AutoCheckFrames", 3165, "B", 1),
    ("BrowserResetNewStatus", 3166, "B", 1),
    ("RunWithWindows", 3167, "B", 1),
    ("MinToTray", 3168, "B", 1),
    ("ConfirmDelete", 3169, "B", 1),
    ("ReportEmptyPages", 3170, "B", 1),
    ("UseHeadersData", 3171, "B", 1),
    ("WorkOffline", 3172, "B", 0),
    ("WorkMode", 3173, "i", 0),
]


def pack_defaults():
    record = bytearray(RECORD_SIZE)
    covered = bytearray(RECORD_SIZE)
    for name, offset, kind, default in LAYOUT:
        size = struct.calcsize("<" + kind)
        struct.pack_into("<" + kind, record, offset, default)
        for i in range(offset, offset + size):
            if covered[i]:
                raise SystemExit("layout table overlaps at byte %d (%s)" % (i, name))
            covered[i] = 1
    if not all(covered):
        raise SystemExit("layout table leaves byte %d uncovered" % covered.index(0))
    return bytes(record)


# The escapes of the encoding: these bytes cannot stand in the stored text as they are.
ESCAPES = {0: 1, 1: 2, 39: 3}
UNESCAPES = {code: byte for byte, code in ESCAPES.items()}
# Any offset but 0 (the text's end) and the quote will do.
OFFSET = 2


def encode(record):
    """The program's binary-to-text encoding of a record (the inverse of decode)."""
    out = bytearray([OFFSET])
    for c in record:
        d = (c - OFFSET) & 0xFF
        if d in ESCAPES:
            out += bytes([1, ESCAPES[d]])
        else:
            out.append(d)
    return bytes(out)


def decode(text):
    """The binary-to-text decoding: an offset byte, then bytes with 1 as an escape."""
    if not text:
        raise ValueError("empty encoding")
    offset = text[0]
    out = bytearray()
    i = 1
    while i < len(text):
        c = text[i]
        i += 1
        if c == 1:
            if i >= len(text):
                raise ValueError("escape at the end")
            c = UNESCAPES.get(text[i])
            i += 1
            if c is None:
                raise ValueError("invalid escape at %d" % (i - 1))
        out.append((c + offset) & 0xFF)
    return bytes(out)


def stored_text(connection):
    """The encoded text of the one PREFS row (read as bytes)."""
    connection.text_factory = bytes
    rows = connection.execute("SELECT blobPrefs FROM PREFS").fetchall()
    if len(rows) != 1:
        raise SystemExit("PREFS holds %d rows, expected 1" % len(rows))
    return rows[0][0]


def stored_record(connection):
    """The decoded record of the one PREFS row, which must have the record's size."""
    record = decode(stored_text(connection))
    if len(record) != RECORD_SIZE:
        raise SystemExit("stored record has %d bytes, expected %d" % (len(record), RECORD_SIZE))
    return record


def setting_at(offset):
    for name, start, kind, _ in LAYOUT:
        if start <= offset < start + struct.calcsize("<" + kind):
            return name
    return "?"


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    encoded = stored_text(sqlite3.connect(sys.argv[1]))
    if b"\0" in encoded or b"'" in encoded:
        raise SystemExit("the encoded record holds a zero byte or a quote")
    stored = decode(encoded)
    expected = pack_defaults()
    if len(stored) != RECORD_SIZE:
        raise SystemExit("stored record has %d bytes, expected %d" % (len(stored), RECORD_SIZE))
    differences = [i for i in range(RECORD_SIZE) if stored[i] != expected[i]]
    for i in differences[:20]:
        print("byte %d (%s): stored 0x%02X, expected 0x%02X" % (i, setting_at(i), stored[i], expected[i]))
    if differences:
        raise SystemExit("%d bytes differ" % len(differences))
    print("settings record matches the layout table (%d bytes)" % RECORD_SIZE)


if __name__ == "__main__":
    main()
