#!/usr/bin/env python3
"""Many writers, one file: measures what concurrent inihost sessions do to one INI file.

Usage: contention.py BUILD_DIR [--mode profileapi|inmemory] [--encoding ansi|utf16]
                     [--writers 4] [--commits 20] [--readers 3] [--reads 200]

Two runs, each on a fresh copy of a small file that holds a comment, a section nobody
writes and a key that is always there:
- writers: WRITERS inihost sessions (separate processes) each write and commit COMMITS
  keys of their own, one per commit. Counted afterwards: keys whose commit returned S_OK
  but that are missing from the file, failed commits, whether the comment, the untouched
  section and the encoding survived, and files left beside the target.
- readers: one session commits COMMITS times while READERS sessions each read the
  always-present key READS times (opening a navigator for every read). Counted: reads
  that did not find it and opens that failed.
InMemory mode runs a copy of inihost that the prefix tells it runs on Windows NT 4.0.
With --second-prefix, every other session runs in that Wine prefix: two Wine servers on
one folder, which share byte-range locks and nothing else, like two machines on a share.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE_RUN = os.path.join(ROOT, "cmake", "wine-run.sh")
BASE = ["; shared settings, kept by every writer", "[untouched]", "keep=1", "[main]", "always=here"]


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def encode(lines, encoding):
    text = "".join(line + "\r\n" for line in lines)
    return b"\xff\xfe" + text.encode("utf-16-le") if encoding == "utf16" else text.encode("ascii")


def decode(data):
    if data[:2] == b"\xff\xfe":
        return data[2:].decode("utf-16-le", "replace"), "utf16"
    return data.decode("latin-1"), "ansi"


def start_session(prefix, exe, dll, requests):
    lines = "".join(json.dumps(r) + "\n" for r in requests)
    proc = subprocess.Popen([WINE_RUN, prefix, exe, "--dll", windows_path(dll), "run"], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, encoding="utf-8")
    proc.stdin.write(lines)
    proc.stdin.close()
    return proc


def answers(proc):
    out = proc.stdout.read()
    proc.wait()
    return [json.loads(line) for line in out.splitlines()]


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


def prefix_for(args, prefix, index):
    return args.second_prefix if args.second_prefix and index % 2 else prefix


def writers_run(args, prefix, exe, dll, folder):
    target = os.path.join(folder, "many.ini")
    with open(target, "wb") as f:
        f.write(encode(BASE, args.encoding))
    path = windows_path(target)
    sessions = []
    for w in range(args.writers):
        requests = []
        for c in range(args.commits):
            requests += [{"op": "open", "path": path},
                         {"op": "write", "vars": [{"section": "main", "key": f"w{w}c{c}", "value": {"vt": "bstr", "v": "v"}}]},
                         {"op": "commit"}, {"op": "close"}]
        sessions.append(start_session(prefix_for(args, prefix, w), exe, dll, requests))
    committed, failed, total = set(), 0, 0
    for w, proc in enumerate(sessions):
        replies = answers(proc)
        for c in range(args.commits):
            reply = replies[4 * c + 2] if 4 * c + 2 < len(replies) else {"hr": "missing"}
            total += 1
            if reply.get("hr") == "0x00000000":
                committed.add(f"w{w}c{c}")
            else:
                failed += 1
    text, encoding = decode(open(target, "rb").read())
    lines = text.splitlines()
    lost = sorted(k for k in committed if f"{k}=v" not in lines)
    left = sorted(n for n in os.listdir(folder) if n != "many.ini")
    print(f"writers {args.mode} {args.encoding}: {args.writers}x{args.commits} commits, {failed} failed "
          f"({100.0 * failed / total:.0f} %), {len(lost)} of {len(committed)} committed keys lost, "
          f"comment {'kept' if BASE[0] in lines else 'LOST'}, untouched section "
          f"{'kept' if '[untouched]' in lines and 'keep=1' in lines else 'LOST'}, encoding "
          f"{'kept' if encoding == args.encoding else 'CHANGED to ' + encoding}, {len(left)} files left beside it")


def readers_run(args, prefix, exe, dll, folder):
    target = os.path.join(folder, "read.ini")
    with open(target, "wb") as f:
        f.write(encode(BASE, args.encoding))
    path = windows_path(target)
    writer = []
    for c in range(args.commits):
        writer += [{"op": "open", "path": path},
                   {"op": "write", "vars": [{"section": "main", "key": f"c{c}", "value": {"vt": "bstr", "v": "v"}}]},
                   {"op": "commit"}, {"op": "close"}]
    reader = []
    for _ in range(args.reads):
        reader += [{"op": "open", "path": path}, {"op": "read", "vars": [{"section": "main", "key": "always"}]},
                   {"op": "close"}]
    procs = [start_session(prefix, exe, dll, writer)] + [start_session(prefix_for(args, prefix, r + 1), exe, dll, reader)
                                                          for r in range(args.readers)]
    writer_replies = answers(procs[0])
    failed_commits = sum(1 for r in writer_replies[2::4] if r.get("hr") != "0x00000000")
    missed = opens_failed = reads = 0
    for proc in procs[1:]:
        replies = answers(proc)
        for i in range(0, len(replies), 3):
            reads += 1
            if replies[i].get("hr") != "0x00000000":
                opens_failed += 1
            elif i + 1 < len(replies) and not replies[i + 1]["vars"][0]["found"]:
                missed += 1
    left = sorted(n for n in os.listdir(folder) if n != "read.ini")
    print(f"readers {args.mode} {args.encoding}: {args.readers}x{args.reads} reads during {args.commits} commits: "
          f"{missed} reads missed the key ({100.0 * missed / reads:.1f} %), {opens_failed} opens failed, "
          f"{failed_commits} commits failed, {len(left)} files left beside it")


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
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    prefix = os.path.join(build, "wineprefix")
    dll = os.path.join(build, "module", "IniPlugin.dll")
    exe = prepare_inihost(build, prefix, args.mode)
    if args.second_prefix:
        args.second_prefix = os.path.abspath(args.second_prefix)
        prepare_inihost(build, args.second_prefix, args.mode)
    with tempfile.TemporaryDirectory() as folder:
        writers_run(args, prefix, exe, dll, folder)
    with tempfile.TemporaryDirectory() as folder:
        readers_run(args, prefix, exe, dll, folder)


if __name__ == "__main__":
    sys.exit(main())
