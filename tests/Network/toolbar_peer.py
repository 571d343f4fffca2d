"""Browser toolbars for the toolbar server tests.

Reads one JSON command per line on stdin and answers each with one JSON line on stdout. Every
connection is a plain blocking socket with a time-out; frames are 12-byte little-endian headers
(type, param, payloadLength) followed by the payload.
"""
import json
import resource
import selectors
import socket
import struct
import subprocess
import sys
import threading
import time

HEADER = struct.Struct("<III")


class Toolbar:
    def __init__(self, port, timeout=20):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.pending = b""
        self.closed = False

    def take_frame(self):
        if len(self.pending) < HEADER.size:
            return None
        kind, param, length = HEADER.unpack_from(self.pending)
        if len(self.pending) < HEADER.size + length:
            return None
        payload = self.pending[HEADER.size:HEADER.size + length]
        self.pending = self.pending[HEADER.size + length:]
        return {"type": kind, "param": param, "payload": payload.hex()}

    def read_frames(self, count, timeout):
        frames = []
        deadline = time.monotonic() + timeout
        while len(frames) < count:
            frame = self.take_frame()
            if frame is not None:
                frames.append(frame)
                continue
            left = deadline - time.monotonic()
            if left <= 0:
                break
            self.sock.settimeout(left)
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                break
            except ConnectionError:
                data = b""
            if not data:
                self.closed = True
                break
            self.pending += data
        return frames

    def wait_closed(self, timeout):
        """True when the server ends the connection within the time (frames before it are kept)."""
        deadline = time.monotonic() + timeout
        while not self.closed:
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            self.sock.settimeout(left)
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                return False
            except ConnectionError:
                data = b""
            if not data:
                self.closed = True
            self.pending += data
        return True


def fates(bars, timeout):
    """How the server dealt with each connection: greeted it (sent something) or closed it at once."""
    undecided = {bar.sock: bar for bar in bars if not bar.pending and not bar.closed}
    selector = selectors.DefaultSelector()
    for sock in undecided:
        selector.register(sock, selectors.EVENT_READ)
    deadline = time.monotonic() + timeout
    while undecided and time.monotonic() < deadline:
        for key, _ in selector.select(max(0.0, deadline - time.monotonic())):
            bar = undecided.pop(key.fileobj)
            selector.unregister(key.fileobj)
            try:
                data = bar.sock.recv(65536)
            except ConnectionError:
                data = b""
            if data:
                bar.pending += data
            else:
                bar.closed = True
    selector.close()
    greeted = sum(1 for bar in bars if bar.pending)
    closed = sum(1 for bar in bars if bar.closed and not bar.pending)
    return greeted, closed


def oracle_groups(db):
    """MSG_GROUPS_DATA's payload built from the database by the sqlite3 tool."""
    out = subprocess.run(["sqlite3", "-batch", "-noheader", "-separator", "|", db,
                          "SELECT hex(title), id FROM GROUPS;"],
                         check=True, capture_output=True, text=True).stdout
    payload = b""
    for line in out.splitlines():
        title_hex, ident = line.split("|")
        if not 0 <= int(ident) < 0xFFFF:
            continue  # an id a toolbar could not send back is left out
        payload += bytes.fromhex(title_hex) + b"\n" + b"0x%04X\n" % int(ident)
    return payload + b"\0"


def load(port, toolbars, requests, nops, guard):
    """Connects every toolbar at once, then each sends its requests (with NOPs between them) and
    reads until it has its answers and the work mode is active again after the last one, or the
    server closed it. `guard` seconds only stop a hung run: a slow machine is waited for, and
    "finished" says whether every toolbar came to its end."""
    deadline = time.monotonic() + guard
    bars = [Toolbar(port, guard) for _ in range(toolbars)]
    sel = selectors.DefaultSelector()
    stats = []
    # Each toolbar has its groups list, so each is listed before any request is made.
    for bar in bars:
        if len(bar.read_frames(1, max(0.0, deadline - time.monotonic()))) != 1:
            raise RuntimeError("no groups list")
    for index, bar in enumerate(bars):
        bar.sock.setblocking(False)
        sel.register(bar.sock, selectors.EVENT_READ, index)
        stats.append({"frames": [], "groups": 1})
    expected_modes = 2 * toolbars * requests
    for index, bar in enumerate(bars):
        data = b""
        for r in range(requests):
            url = b"http://toolbar-%d.example/page-%d\0" % (index, r)
            data += HEADER.pack(0, index * 100 + r, len(url)) + url
            for _ in range(nops):
                data += HEADER.pack(5, 0, 0)
        bar.sock.setblocking(True)
        bar.sock.sendall(data)
        bar.sock.setblocking(False)

    counts = [[0, 0] for _ in range(toolbars)]  # answers, work modes

    def done(i):
        return counts[i][0] == requests and counts[i][1] == expected_modes

    remaining = set(range(toolbars))
    while remaining and time.monotonic() < deadline:
        for key, _ in sel.select(timeout=1):
            i = key.data
            bar = bars[i]
            try:
                data = bar.sock.recv(1 << 16)
            except BlockingIOError:
                continue
            if not data:
                remaining.discard(i)
                sel.unregister(bar.sock)
                continue
            bar.pending += data
            while True:
                frame = bar.take_frame()
                if frame is None:
                    break
                if frame["type"] == 3:
                    stats[i]["groups"] += 1
                else:
                    stats[i]["frames"].append((frame["type"], frame["param"]))
                    if frame["type"] == 1:
                        counts[i][0] += 1
                    elif frame["type"] == 2:
                        counts[i][1] += 1
            if done(i):
                remaining.discard(i)
    result = []
    for i, s in enumerate(stats):
        result.append({"groups": s["groups"], "frames": s["frames"]})
    return bars, result, not remaining


class Crowd:
    """A local process's crowd on the server's port, run on a thread of its own: `count`
    connections that never finish a frame (silent ones, and with `half` that many sending the first
    5 bytes of a header); with `recycle` each is closed and opened again that many seconds after
    the server took it, once the server has taken the whole crowd. With `nops` each connection
    instead sends a whole MSG_NOP as soon as it is open and again every `nops` seconds, and one the
    server closed comes back at the next round. It counts the connections the server closed.

    The rhythm follows the server's pace: a connection still in the system's queue is not given
    up, and none is recycled before the whole first round was taken, so a server slower to accept
    than the rhythm (a sanitizer build, a busy machine) is still filled and is never buried under
    connections it has yet to take."""

    def __init__(self, port, count, half, recycle, nops=0):
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if soft < hard:
            resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
        self.port, self.count, self.half, self.recycle, self.nops = port, count, half, recycle, nops
        self.stop = threading.Event()
        self.opened = 0
        self.closed_by_server = 0
        self.open_since = {}  # socket -> [time opened, index, time the server greeted it or None]
        self.untaken = set(range(count))  # the first round's connections not yet greeted or closed
        self.error = None
        self.ready = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()
        self.ready.wait(60)

    def open_one(self, index):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.settimeout(10)
        sock.connect(("127.0.0.1", self.port))
        if index < self.half:
            sock.sendall(HEADER.pack(0, 1, 100)[:5])
        if self.nops:
            sock.sendall(HEADER.pack(5, 0, 0))
        sock.setblocking(False)
        self.open_since[sock] = [time.monotonic(), index, None]
        self.opened += 1
        return sock

    def run(self):
        selector = selectors.DefaultSelector()
        try:
            for index in range(self.count):
                selector.register(self.open_one(index), selectors.EVENT_READ)
            self.ready.set()
            waiting = []  # (when to reopen, index) of connections the server closed
            next_round = time.monotonic() + self.nops
            while not self.stop.is_set():
                if self.nops and time.monotonic() >= next_round:
                    next_round += self.nops
                    for sock in self.open_since:
                        try:
                            sock.send(HEADER.pack(5, 0, 0))
                        except OSError:
                            pass  # closed by the server: seen by the selector
                    for _, index in waiting:
                        selector.register(self.open_one(index), selectors.EVENT_READ)
                    waiting = []
                for key, _ in selector.select(0.1):
                    sock = key.fileobj
                    try:
                        data = sock.recv(65536)
                    except BlockingIOError:
                        continue
                    except ConnectionError:
                        data = b""
                    if data:
                        # The groups list: a silent connection reads and says nothing.
                        held = self.open_since[sock]
                        if held[2] is None:
                            held[2] = time.monotonic()
                        self.untaken.discard(held[1])
                        continue
                    selector.unregister(sock)
                    opened, index, _ = self.open_since.pop(sock)
                    self.untaken.discard(index)
                    sock.close()
                    self.closed_by_server += 1
                    if self.recycle or self.nops:
                        waiting.append((opened + self.recycle, index))
                if not self.recycle or self.untaken:
                    continue
                now = time.monotonic()
                for sock, (_, index, taken) in list(self.open_since.items()):
                    if taken is not None and now - taken >= self.recycle:
                        selector.unregister(sock)
                        del self.open_since[sock]
                        sock.close()
                        selector.register(self.open_one(index), selectors.EVENT_READ)
                due = [w for w in waiting if w[0] <= now]
                waiting = [w for w in waiting if w[0] > now]
                for _, index in due:
                    selector.register(self.open_one(index), selectors.EVENT_READ)
        except Exception as error:  # reported by crowd_stop
            self.error = repr(error)
            self.ready.set()
        finally:
            for sock in list(self.open_since):
                sock.close()
            selector.close()

    def finish(self):
        still_open = len(self.open_since)
        self.stop.set()
        self.thread.join(60)
        return {"opened": self.opened, "closed_by_server": self.closed_by_server,
                "still_open": still_open, "error": self.error}

    def snapshot(self):
        return {"opened": self.opened, "closed_by_server": self.closed_by_server,
                "untaken": len(self.untaken), "error": self.error}


def try_toolbar(port, timeout):
    """A real toolbar's visit: connects, waits for its groups list, leaves. The seconds the list
    took, or None when the server closed the connection or sent nothing in time."""
    started = time.monotonic()
    try:
        bar = Toolbar(port)
    except OSError:
        return None
    try:
        frames = bar.read_frames(1, timeout)
    finally:
        bar.sock.close()
    if len(frames) == 1 and frames[0]["type"] == 3:
        return time.monotonic() - started
    return None


def main():
    bars = []
    crowd = None
    for line in sys.stdin:
        cmd = json.loads(line)
        op = cmd["op"]
        reply = {"ok": True}
        seq = cmd.get("seq")
        try:
            if op == "connect":
                first = len(bars)
                for _ in range(cmd.get("count", 1)):
                    bars.append(Toolbar(cmd["port"]))
                reply["ids"] = list(range(first, len(bars)))
            elif op == "send":
                data = bytes.fromhex(cmd["hex"])
                pieces = cmd.get("pieces")
                bar = bars[cmd["id"]]
                if not pieces:
                    bar.sock.sendall(data)
                else:
                    at = 0
                    for size in pieces + [len(data)]:
                        piece = data[at:at + size] if size else b""
                        if piece:
                            bar.sock.sendall(piece)
                            # Separate segments, so the server reads the pieces apart.
                            time.sleep(cmd.get("pause", 0.002))
                        at += len(piece)
                    if at < len(data):
                        bar.sock.sendall(data[at:])
                if cmd.get("close"):
                    bar.sock.shutdown(socket.SHUT_WR)
            elif op == "read":
                bar = bars[cmd["id"]]
                reply["frames"] = bar.read_frames(cmd.get("count", 1), cmd.get("timeout", 20))
                reply["closed"] = bar.closed
            elif op == "wait_closed":
                bar = bars[cmd["id"]]
                reply["closed"] = bar.wait_closed(cmd.get("timeout", 20))
                frames = []
                while True:
                    frame = bar.take_frame()
                    if frame is None:
                        break
                    frames.append(frame)
                reply["frames"] = frames
            elif op == "close":
                bar = bars[cmd["id"]]
                if cmd.get("reset"):
                    bar.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                bar.sock.close()
            elif op == "fates":
                ids = cmd.get("ids", range(len(bars)))
                reply["greeted"], reply["closed"] = fates([bars[i] for i in ids], cmd.get("timeout", 20))
            elif op == "oracle":
                reply["payload"] = oracle_groups(cmd["db"]).hex()
            elif op == "load":
                new_bars, reply["toolbars"], reply["finished"] = load(
                    cmd["port"], cmd["toolbars"], cmd["requests"], cmd.get("nops", 0), cmd["guard"])
                bars.extend(new_bars)
            elif op == "crowd_start":
                crowd = Crowd(cmd["port"], cmd["count"], cmd.get("half", 0), cmd.get("recycle", 0),
                              cmd.get("nops", 0))
                reply.update(crowd.snapshot())
            elif op == "crowd_state":
                reply.update(crowd.snapshot())
            elif op == "crowd_stop":
                reply.update(crowd.finish())
                crowd = None
            elif op == "try_toolbar":
                took = try_toolbar(cmd["port"], cmd.get("timeout", 20))
                reply["greeted"] = took is not None
                reply["seconds"] = took if took is not None else -1
            elif op == "all_closed":
                ids = cmd.get("ids", range(len(bars)))
                reply["closed"] = all(bars[i].wait_closed(cmd.get("timeout", 20)) for i in ids)
            else:
                reply = {"ok": False, "error": "unknown op " + op}
        except Exception as error:  # the test reads the error instead of a hang
            reply = {"ok": False, "error": repr(error)}
        reply["seq"] = seq
        sys.stdout.write(json.dumps(reply) + "\n")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
