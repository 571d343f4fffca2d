"""Holds a lock on a SQLite database, as another program would.

usage: hold_database_lock.py DATABASE STATE_FILE RELEASE_FILE MAX_SECONDS [exclusive|read]
exclusive (the default) holds BEGIN EXCLUSIVE: nobody else writes, and under the rollback journal
nobody else reads either. read holds an open read transaction: the file cannot change its journal.
Writes "locked" to STATE_FILE once the lock is held, keeps it until RELEASE_FILE exists or
MAX_SECONDS have passed, then ends the transaction and writes "released".
"""
import os
import sqlite3
import sys
import time

database, state, release, most = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
mode = sys.argv[5] if len(sys.argv) > 5 else "exclusive"
connection = sqlite3.connect(database, isolation_level=None, timeout=60)
if mode == "read":
    connection.execute("BEGIN")
    connection.execute("SELECT COUNT(*) FROM sqlite_master").fetchall()
else:
    connection.execute("BEGIN EXCLUSIVE")
with open(state, "w") as f:
    f.write("locked")
end = time.monotonic() + most
while not os.path.exists(release) and time.monotonic() < end:
    time.sleep(0.05)
connection.execute("COMMIT")
connection.close()
with open(state, "w") as f:
    f.write("released")
