#!/usr/bin/env python3
"""Many writers, one file: measures what concurrent inihost sessions do to one INI file.

Usage: contention.py BUILD_DIR [--mode profileapi|inmemory] [--encoding ansi|utf16]
                     [--writers 4] [--commits 20] [--readers 3] [--reads 200]
                     [--second-prefix DIR] [--repeat 1] [--seconds S]

Two runs, each on a fresh copy of a small file that holds a comment, a section nobody
writes and a key that is always there:
- writers: WRITERS inihost sessions (separate processes) each write and commit COMMITS
  keys of their own, one per commit. Counted afterwards: keys whose commit returned S_OK
  but that are missing from the file, failed commits, whether the file, the comment, the
  untouched section and the encoding survived, and files left beside the target (the
  folder's lock file aside).
- readers: one session commits COMMITS times (with --seconds: as many times as it can in
  that time, one session per Wine prefix) while READERS sessions each read the
  always-present key READS times (with --seconds: until the time is up), opening a
  navigator for every read. Counted: reads that did not find it and opens that failed.
InMemory mode runs a copy of inihost that the prefix tells it runs on Windows NT 4.0.
With --second-prefix, every other session runs in that Wine prefix: two Wine servers on
one folder, which share byte-range locks and nothing else, like two machines on a share.
--repeat runs the writers' run that many times and sums up the keys lost in each.
tests/navigator/two_servers_test.py runs the same runs as a test.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE_RUN = os.path.join(ROOT, "cmake", "wine-run.sh")
BASE = ["; shared settings, kept by every writer", "[untouched]", "keep=1", "[main]", "always=here"]
LOCK_FILE = "IniPlugin.lock"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def encode(lines, encoding):
    text = "".join(line + "\r\n" for line in lines)
    return b"\xff\xfe" + text.encode("utf-16-le") if encoding == "utf16" else text.encode("ascii")


def decode(data):
    if data[:2] == b"\xff\xfe":
        return data[2:].decode("utf-16-le", "replace"), "utf16"
    return data.decode("latin-1"), "ansi"


class Session:
    """One inihost `run` session; requests are fed from a list or, until a deadline, from a
    function that makes the next batch."""

    def __init__(self, prefix, exe, dll, requests=None, batch=None, until=None):
        self.proc = subprocess.Popen([WINE_RUN, prefix, exe, "--dll", windows_path(dll), "run"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     text=True, encoding="utf-8")
        self.lines = []
        self.reader = threading.Thread(target=lambda: self.lines.extend(self.proc.stdout.read().splitlines()))
        self.reader.start()
        self.feeder = threading.Thread(target=self._feed, args=(requests, batch, until))
        self.feeder.start()

    def _feed(self, requests, batch, until):
        try:
            if requests is not None:
                self.proc.stdin.write("".join(json.dumps(r) + "\n" for r in requests))
            else:
                while time.monotonic() < until:
                    self.proc.stdin.write("".join(json.dumps(r) + "\n" for r in batch()))
                    self.proc.stdin.flush()
            self.proc.stdin.close()
        except BrokenPipeError:
            pass

    def answers(self):
        self.feeder.join()
        self.reader.join()
        self.proc.wait()
        return [json.loads(line) for line in self.lines]


def prepare_inihost(build, prefix, mode):
    exe = os.path.join(build, "tools", "inihost", "inihost.exe")
    if mode == "profileapi":
        return exe
    nt4 = os.path.join(build, "bench-contention", "inihost_nt4.exe")
    os.makedirs(os.path.dirname(nt4), exist_ok=True)
    shutil.copy(exe, nt4)
    subprocess.run([WINE_RUN, prefix, "reg", "add", r"HKCU\Software\Wine\AppDefaults\inihost_nt4.exe", "/v",
                    "Version", "/d", "nt40", "/f"], check=True, capture_output=True)
    return nt4


def prefix_for(prefixes, index):
    return prefixes[index % len(prefixes)]


def commit_requests(path, key):
    return [{"op": "open", "path": path},
            {"op": "write", "vars": [{"section": "main", "key": key, "value": {"vt": "bstr", "v": "v"}}]},
            {"op": "commit"}, {"op": "close"}]


def read_requests(path):
    return [{"op": "open", "path": path}, {"op": "read", "vars": [{"section": "main", "key": "always"}]},
            {"op": "close"}]


def others_beside(folder, name):
    return sorted(n for n in os.listdir(folder) if n not in (name, LOCK_FILE))


def writers_run(prefixes, exe, dll, folder, encoding, writers, commits):
    """Returns what WRITERS sessions x COMMITS commits did to one file."""
    target = os.path.join(folder, "many.ini")
    with open(target, "wb") as f:
        f.write(encode(BASE, encoding))
    path = windows_path(target)
    sessions = []
    for w in range(writers):
        requests = []
        for c in range(commits):
            requests += commit_requests(path, f"w{w}c{c}")
        sessions.append(Session(prefix_for(prefixes, w), exe, dll, requests))
    committed, failures = set(), []
    for w, session in enumerate(sessions):
        replies = session.answers()
        for c in range(commits):
            reply = replies[4 * c + 2] if 4 * c + 2 < len(replies) else {"hr": "missing"}
            if reply.get("hr") == "0x00000000":
                committed.add(f"w{w}c{c}")
            else:
                failures.append(reply)
    exists = os.path.exists(target)
    text, found_encoding = decode(open(target, "rb").read()) if exists else ("", None)
    lines = text.splitlines()
    return {
        "commits": writers * commits, "failed": len(failures), "failures": failures[:3],
        "committed": len(committed), "lost": sorted(k for k in committed if f"{k}=v" not in lines),
        "file_kept": exists, "comment_kept": BASE[0] in lines,
        "untouched_kept": "[untouched]" in lines and "keep=1" in lines,
        "encoding_kept": found_encoding == encoding, "left": others_beside(folder, "many.ini"),
    }


def readers_run(prefixes, exe, dll, folder, encoding, readers, reads=None, commits=None, seconds=None):
    """Returns what readers met while writers committed: a fixed number of reads and commits,
    or for `seconds` with one writer per prefix."""
    target = os.path.join(folder, "read.ini")
    with open(target, "wb") as f:
        f.write(encode(BASE, encoding))
    path = windows_path(target)
    counter = iter(range(1 << 30))
    if seconds is None:
        writer_sessions = [Session(prefixes[0], exe, dll,
                                   [r for c in range(commits) for r in commit_requests(path, f"c{c}")])]
        reader_sessions = [Session(prefix_for(prefixes, r + 1), exe, dll, read_requests(path) * reads)
                           for r in range(readers)]
    else:
        until = time.monotonic() + seconds
        writer_sessions = [Session(prefix, exe, dll, batch=lambda: commit_requests(path, f"c{next(counter)}"),
                                   until=until) for prefix in prefixes]
        reader_sessions = [Session(prefix_for(prefixes, r), exe, dll, batch=lambda: read_requests(path) * 10,
                                   until=until) for r in range(readers)]
    failed_commits = commits_made = 0
    for session in writer_sessions:
        replies = session.answers()
        commits_made += len(replies[2::4])
        failed_commits += sum(1 for r in replies[2::4] if r.get("hr") != "0x00000000")
    missed = opens_failed = total = 0
    for session in reader_sessions:
        replies = session.answers()
        for i in range(0, len(replies) - 1, 3):
            total += 1
            if replies[i].get("hr") != "0x00000000":
                opens_failed += 1
            elif not replies[i + 1]["vars"][0]["found"]:
                missed += 1
    return {"reads": total, "missed": missed, "opens_failed": opens_failed, "commits": commits_made,
            "failed_commits": failed_commits, "left": others_beside(folder, "read.ini")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--mode", default="profileapi", choices=["profileapi", "inmemory"])
    parser.add_argument("--encoding", default="ansi", choices=["ansi", "utf16"])
    parser.add_argument("--writers", type=int, default=4)
    parser.add_argument("--commits", type=int, default=20)
    parser.add_argument("--readers", type=int, default=3)
    parser.add_argument("--reads", type=int, default=200)
    parser.add_argument("--second-prefix", help="a second Wine prefix for every other session")
    parser.add_argument("--repeat", type=int, default=1, help="runs of the writers' run")
    parser.add_argument("--seconds", type=float, help="run the readers' run for this long")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    prefixes = [os.path.join(build, "wineprefix")]
    dll = os.path.join(build, "module", "IniPlugin.dll")
    exe = prepare_inihost(build, prefixes[0], args.mode)
    if args.second_prefix:
        prefixes.append(os.path.abspath(args.second_prefix))
        prepare_inihost(build, prefixes[1], args.mode)
    lost_per_run = []
    for run in range(args.repeat):
        with tempfile.TemporaryDirectory() as folder:
            r = writers_run(prefixes, exe, dll, folder, args.encoding, args.writers, args.commits)
        lost_per_run.append(len(r["lost"]))
        print(f"writers {args.mode} {args.encoding} run {run + 1}: {args.writers}x{args.commits} commits, "
              f"{r['failed']} failed, {len(r['lost'])} of {r['committed']} committed keys lost, file "
              f"{'kept' if r['file_kept'] else 'DELETED'}, comment {'kept' if r['comment_kept'] else 'LOST'}, "
              f"untouched section {'kept' if r['untouched_kept'] else 'LOST'}, encoding "
              f"{'kept' if r['encoding_kept'] else 'CHANGED'}, {len(r['left'])} files left beside it"
              + (f"; first failures: {r['failures']}" if r["failures"] else ""))
    if args.repeat > 1:
        print(f"writers {args.mode} {args.encoding}: keys lost per run {lost_per_run}")
    with tempfile.TemporaryDirectory() as folder:
        r = readers_run(prefixes, exe, dll, folder, args.encoding, args.readers, args.reads, args.commits,
                        args.seconds)
    print(f"readers {args.mode} {args.encoding}: {r['reads']} reads during {r['commits']} commits: "
          f"{r['missed']} reads missed the key, {r['opens_failed']} opens failed, "
          f"{r['failed_commits']} commits failed, {len(r['left'])} files left beside it")


if __name__ == "__main__":
    sys.exit(main())
