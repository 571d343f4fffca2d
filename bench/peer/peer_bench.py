#!/usr/bin/env python3
"""The program's checks beside a peer's, in the same run, on the same loopback server.

A server in a process of its own serves pages of 30 KB, 90 KB, 300 KB and 1 MB in turn (by page
number): /full/N always with the whole body, /cond/N with Last-Modified and ETag, answered 304 to a
conditional request. The program's main window (bench_peer_program) holds a tree of PAGES pages per
set of which DUE are due, and checks them, one timer tick per set; urlwatch (Debian's package,
installed here when missing) checks the same DUE pages of each set with its own configuration and
cache in a temporary folder and its default thread pool. Each run prints per page: wall ms and CPU
ms, and the peak memory of the process as resident set (RSS) and as proportional set size (PSS,
shared pages divided among the processes that map them), both read from /proc from outside every
20 ms, with how much of the resident figure is file-backed (the shared libraries, mostly). The
ratios stand beside the targets: the program's CPU at most a fifth of urlwatch's, its wall time at
most urlwatch's, its PSS at most half of urlwatch's, for whole bodies and 304 alike. The summary
gives min and median over the runs.

urlwatch is a separate process per set and run: its start (interpreter and imports) is measured
apart with an empty job list (median of three) and left out of its per-page figures; memory is
its peak, start included. The program's figures are from the tick until the last result is
stored, as a running program pays them. The server's CPU is counted for neither.

    bench/peer/peer_bench.py [--runs 3] [--pages 1000] [--due 200] [--program build/bench/bench/peer/bench_peer_program]

The program's window listens on the toolbar port 6790, so the measuring part re-runs itself in a
private network namespace (unshare -rn, loopback up) when it can; everything it talks to is on
loopback there.
"""

import argparse
import email.utils
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_PROGRAM = os.path.join(REPO, "build", "bench", "bench", "peer", "bench_peer_program")
PAGE_SIZES = (1024 * 1024, 30 * 1024, 90 * 1024, 300 * 1024)  # by page number modulo 4
INSIDE = "TALUVO_PEER_BENCH_INSIDE"

# Targets: the program's figure over urlwatch's, at most.
TARGETS = {"cpu": 1 / 5, "wall": 1.0, "pss": 1 / 2}


# ---- the page server (runs as its own process: python3 peer_bench.py --serve) ----

def page_body(number):
    line = "<p>Line %%06d of watched page %d, with some ordinary text to compare.</p>\n" % number
    parts, size, i = [], 0, 0
    while size < PAGE_SIZES[number % len(PAGE_SIZES)]:
        part = line % i
        parts.append(part)
        size += len(part)
        i += 1
    return ("<html><body>\n" + "".join(parts) + "</body></html>\n").encode()


def serve():
    counts = {}
    lock = threading.Lock()
    bodies = {}
    modified = email.utils.formatdate(time.time() - 86400, usegmt=True)

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def answer(self, code, body=b"", headers=()):
            self.send_response(code)
            for name, value in headers:
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if body:
                self.wfile.write(body)
            kind = self.path.split("/")[1]
            with lock:
                counts["%s %d" % (kind, code)] = counts.get("%s %d" % (kind, code), 0) + 1

        def do_GET(self):
            parts = self.path.split("/")
            if self.path == "/stats":
                with lock:
                    body = json.dumps(counts).encode()
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
                return
            if len(parts) != 3 or parts[1] not in ("full", "cond") or not parts[2].isdigit():
                self.answer(404)
                return
            number = int(parts[2])
            if number not in bodies:
                bodies[number] = page_body(number)
            body = bodies[number]
            html = [("Content-Type", "text/html")]
            if parts[1] == "full":
                self.answer(200, body, html)
                return
            tags = [("ETag", '"page-%d"' % number), ("Last-Modified", modified)]
            if self.headers.get("If-None-Match") or self.headers.get("If-Modified-Since"):
                self.answer(304, b"", tags)
            else:
                self.answer(200, body, html + tags)

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


def server_stats(port):
    import urllib.request
    with urllib.request.urlopen("http://127.0.0.1:%d/stats" % port) as reply:
        return json.loads(reply.read())


# ---- set-up, outside the namespace ----

def set_up():
    if shutil.which("urlwatch"):
        return
    apt = ["apt-get", "install", "-y", "urlwatch"]
    if os.geteuid() != 0:
        apt.insert(0, "sudo")
    print("installing urlwatch:", " ".join(apt), flush=True)
    if subprocess.call(apt) != 0:
        subprocess.call(apt[:-3] + ["update"])
        subprocess.check_call(apt)


def in_private_namespace(argv):
    """Runs the rest of the benchmark in a private network namespace; False where none can be made."""
    script = "ip link set lo up && exec %s" % " ".join(_quote(a) for a in [sys.executable] + argv)
    env = dict(os.environ, **{INSIDE: "1"})
    try:
        if subprocess.call(["unshare", "-rn", "true"], stderr=subprocess.DEVNULL) != 0:
            return None
        return subprocess.call(["unshare", "-rn", "bash", "-c", script], env=env)
    except OSError:
        return None


def _quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


# ---- measuring ----

def memory_of(pid):
    """Rss, Pss and the anonymous part of Rss of a process, in MB; None once it is gone."""
    try:
        with open("/proc/%d/smaps_rollup" % pid) as rollup:
            fields = {}
            for line in rollup:
                parts = line.split()
                if len(parts) >= 2 and parts[0].endswith(":"):
                    fields[parts[0][:-1]] = int(parts[1]) / 1024
        return fields.get("Rss", 0), fields.get("Pss", 0), fields.get("Anonymous", 0)
    except (OSError, ValueError):
        return None


class MemoryWatch:
    """Samples a process's memory every 20 ms; the peaks per label (the label may change meanwhile)."""

    def __init__(self, pid):
        self.pid = pid
        self.label = None
        self.peaks = {}
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stopped.is_set():
            label = self.label
            sample = memory_of(self.pid)
            if sample is None:
                return
            if label is not None:
                rss, pss, anon = sample
                peak = self.peaks.setdefault(label, {"rss": 0, "pss": 0, "file": 0})
                if pss > peak["pss"]:
                    peak["pss"], peak["file"] = pss, rss - anon
                peak["rss"] = max(peak["rss"], rss)
            self.stopped.wait(0.02)

    def stop(self):
        self.stopped.set()
        self.thread.join()


def measured(command, env=None, cwd=None, on_line=None):
    """Runs command; its wall ms, CPU ms (all its threads), peak memory and output. on_line gets each
    line of output as it comes and returns the label memory samples go to from then on (None: none)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, cwd=cwd)
    watch = MemoryWatch(process.pid)
    if on_line is None:
        watch.label = "all"
    lines = []
    for raw in process.stdout:
        line = raw.decode(errors="replace")
        lines.append(line)
        if on_line is not None:
            watch.label = on_line(line)
    _, status, usage = os.wait4(process.pid, 0)
    wall = (time.perf_counter() - start) * 1000
    watch.stop()
    process.returncode = os.waitstatus_to_exitcode(status)
    text = "".join(lines)
    if process.returncode != 0:
        raise RuntimeError("%s ended with %d:\n%s" % (command[0], process.returncode, text[-2000:]))
    return wall, (usage.ru_utime + usage.ru_stime) * 1000, watch.peaks, text


class Urlwatch:
    """urlwatch with its own configuration, job lists and caches in a folder of its own."""

    def __init__(self, folder, port, numbers):
        self.folder = folder
        self.env = dict(os.environ, HOME=folder, XDG_CONFIG_HOME=os.path.join(folder, "config"),
                        XDG_CACHE_HOME=os.path.join(folder, "cache"), NO_COLOR="1")
        self.config = os.path.join(folder, "urlwatch.yaml")
        self.hooks = os.path.join(folder, "hooks.py")
        open(self.hooks, "w").close()
        for kind in ("full", "cond", "empty"):
            with open(self.urls(kind), "w") as jobs:
                chosen = [] if kind == "empty" else numbers
                jobs.write("\n---\n".join("name: %s %d\nurl: http://127.0.0.1:%d/%s/%d" % (kind, i, port, kind, i)
                                          for i in chosen))
                jobs.write("\n")

    def urls(self, kind):
        return os.path.join(self.folder, "urls-%s.yaml" % kind)

    def run(self, kind):
        return measured(["urlwatch", "--urls", self.urls(kind), "--config", self.config, "--hooks", self.hooks,
                         "--cache", os.path.join(self.folder, "cache-%s.db" % kind)], env=self.env, cwd=self.folder)


def urlwatch_per_page(figures, pages, start):
    """urlwatch's figures per page with its own start (wall and CPU) left out."""
    wall, cpu, peaks = figures[:3]
    peak = peaks.get("all", {"rss": 0, "pss": 0, "file": 0})
    return {"wall": max(wall - start["wall"], 0) / pages, "cpu": max(cpu - start["cpu"], 0) / pages,
            "rss": peak["rss"], "pss": peak["pss"], "file": peak["file"]}


def program_rounds(program, port, pages, due):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

    def label_of(line):
        words = line.split()
        return words[1] if words[:1] == ["begin"] and len(words) > 1 else None

    _, _, peaks, text = measured([program, str(port), str(pages), str(due)], env=env, on_line=label_of)
    rounds = {}
    for line in text.splitlines():
        words = line.split()
        if words[:1] != ["round"]:
            continue
        fields = dict(zip(words[2::2], words[3::2]))
        count = int(fields["pages"])
        peak = peaks.get(words[1], {"rss": 0, "pss": 0, "file": 0})
        rounds[words[1]] = {"wall": float(fields["wall_ms"]) / count, "cpu": float(fields["cpu_ms"]) / count,
                            "rss": max(peak["rss"], float(fields["peak_mb"])), "pss": peak["pss"],
                            "file": peak["file"], "stored": int(fields["stored"]),
                            "http200": int(fields["http200"]), "http304": int(fields["http304"]), "pages": count}
    if "whole" not in rounds or "304" not in rounds:
        raise RuntimeError("the program's driver printed no rounds:\n" + text[-2000:])
    return rounds


def print_row(label, figures):
    print("  %-24s %9.3f %9.3f %9.1f %9.1f %9.1f" % (label, figures["wall"], figures["cpu"], figures["rss"],
                                                     figures["pss"], figures["file"]))


def print_ratios(label, program, peer):
    cells = []
    for key, name in (("cpu", "CPU"), ("wall", "wall"), ("pss", "memory (PSS)")):
        ratio = program[key] / peer[key] if peer[key] else float("inf")
        cells.append("%s %.3f (target <= %.2f, %s)" % (name, ratio, TARGETS[key],
                                                      "met" if ratio <= TARGETS[key] else "MISSED"))
    rss = program["rss"] / peer["rss"] if peer["rss"] else float("inf")
    cells.append("resident %.3f" % rss)
    print("  %-24s %s" % (label, "; ".join(cells)))


HEADER = "  %-24s %9s %9s %9s %9s %9s" % ("", "wall ms", "CPU ms", "RSS MB", "PSS MB", "file MB")
KEYS = ("wall", "cpu", "rss", "pss", "file")


def measure(args):
    server = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--serve"], stdout=subprocess.PIPE)
    try:
        port = int(server.stdout.readline())
        every = max(args.pages // args.due, 1)
        numbers = list(range(every, args.pages + 1, every))
        due = len(numbers)
        load = open("/proc/loadavg").read().split()[:3]
        print("load average at start: %s" % " ".join(load))
        with tempfile.TemporaryDirectory(prefix="peer-bench-") as folder:
            os.environ["TMPDIR"] = folder  # the program's database and urlwatch's caches side by side
            peer = Urlwatch(folder, port, numbers)
            for kind in ("full", "cond"):
                peer.run(kind)  # fills its cache, as the program's first round fills its rows
            starts = [peer.run("empty") for _ in range(3)]
            start = {"wall": statistics.median(s[0] for s in starts), "cpu": statistics.median(s[1] for s in starts),
                     "rss": statistics.median(s[2]["all"]["rss"] for s in starts),
                     "pss": statistics.median(s[2]["all"]["pss"] for s in starts)}
            print("urlwatch's own start with an empty job list (median of 3, left out of its per-page figures): "
                  "%.1f ms wall, %.1f ms CPU, RSS %.1f MB, PSS %.1f MB" % (start["wall"], start["cpu"], start["rss"],
                                                                          start["pss"]))
            results = []
            for run in range(1, args.runs + 1):
                before = server_stats(port)
                whole = urlwatch_per_page(peer.run("full"), due, start)
                cond = urlwatch_per_page(peer.run("cond"), due, start)
                after = server_stats(port)
                answers = {k: after.get(k, 0) - before.get(k, 0) for k in after}
                rounds = program_rounds(args.program, port, args.pages, args.due)
                results.append({"urlwatch whole": whole, "urlwatch 304": cond,
                                "program whole": rounds["whole"], "program 304": rounds["304"]})
                print("run %d (%d due of %d pages per set, 30 KB / 90 KB / 300 KB / 1 MB in turn; per page)" % (
                    run, due, args.pages))
                print(HEADER)
                for label in ("urlwatch whole", "program whole", "urlwatch 304", "program 304"):
                    print_row(label, results[-1][label])
                print("  urlwatch's answers: %s; the program stored %d (%d HTTP 200) and %d (%d HTTP 304)" % (
                    ", ".join("%s: %d" % item for item in sorted(answers.items()) if item[0] != "stats 200"),
                    rounds["whole"]["stored"], rounds["whole"]["http200"], rounds["304"]["stored"],
                    rounds["304"]["http304"]))
                print_ratios("program / urlwatch whole", rounds["whole"], whole)
                print_ratios("program / urlwatch 304", rounds["304"], cond)
                sys.stdout.flush()

            print("\nsummary over %d runs, per page: min / median (memory: peak of the process)" % args.runs)
            print("  %-24s %17s %17s %17s %17s %17s" % ("", "wall ms", "CPU ms", "RSS MB", "PSS MB", "file MB"))
            medians = {}
            for label in ("urlwatch whole", "program whole", "urlwatch 304", "program 304"):
                cells, medians[label] = [], {}
                for key in KEYS:
                    values = [r[label][key] for r in results]
                    medians[label][key] = statistics.median(values)
                    cells.append("%8.3f / %-8.3f" % (min(values), medians[label][key]))
                print("  %-24s %s" % (label, " ".join(cells)))
            print("ratios of the medians:")
            print_ratios("program / urlwatch whole", medians["program whole"], medians["urlwatch whole"])
            print_ratios("program / urlwatch 304", medians["program 304"], medians["urlwatch 304"])
            print("(file MB: the file-backed part of the resident set at the PSS peak, shared libraries mostly)")
    finally:
        server.kill()
        server.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--pages", type=int, default=1000, help="pages per set in the program's tree")
    parser.add_argument("--due", type=int, default=200, help="pages of each set due, checked by both")
    parser.add_argument("--program", default=DEFAULT_PROGRAM, help="the bench_peer_program driver")
    parser.add_argument("--serve", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.serve:
        serve()
        return 0
    if not os.access(args.program, os.X_OK):
        sys.exit("no driver at %s: build the target bench_peer_program (release mode) first" % args.program)
    args.program = os.path.abspath(args.program)
    if not os.environ.get(INSIDE):
        set_up()
        status = in_private_namespace([os.path.abspath(__file__)] + sys.argv[1:])
        if status is not None:
            return status
        print("no private network namespace: running here (the toolbar port 6790 must be free)", flush=True)
    measure(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
