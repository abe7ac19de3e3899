#!/usr/bin/env python3
"""Integration tests of inihost: the host stand-in runs under Wine against
the built plug-in, loaded by path (--dll) and through its registration."""
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest

WINE_RUN = os.environ["INIHOST_WINE_RUN"]      # cmake/wine-run.sh
PREFIX = os.environ["INIHOST_WINE_PREFIX"]
INIHOST = os.environ["INIHOST_EXE"]
DLL = os.environ["INIHOST_DLL"]
VERSION = os.environ["INIHOST_VERSION"]      # the project's version


def file_version(path):
    """The file version in a module's version resource (VS_FIXEDFILEINFO)."""
    with open(path, "rb") as f:
        data = f.read()
    start = data.index(struct.pack("<I", 0xFEEF04BD))
    most, least = struct.unpack_from("<II", data, start + 8)
    return "%d.%d.%d.%d" % (most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF)


def windows_path(path):
    """Wine's Z: drive is the Linux root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def inihost(*args, stdin=None):
    return subprocess.run([WINE_RUN, PREFIX, INIHOST, *args], input=stdin, capture_output=True,
                          text=True, encoding="utf-8", timeout=120)


def session(requests, dll=True):
    """Runs one `run` session; returns the answers, one per request line."""
    lines = "".join((r if isinstance(r, str) else json.dumps(r)) + "\n" for r in requests)
    args = ["--dll", windows_path(DLL), "run"] if dll else ["run"]
    result = inihost(*args, stdin=lines)
    assert result.returncode == 0, result.stderr
    return [json.loads(line) for line in result.stdout.splitlines()]


def var(section, key, value=None, **extra):
    v = {"section": section, "key": key, **extra}
    if value is not None:
        v["value"] = value
    return v


def text(t):
    return {"vt": "bstr", "v": t}


class Folder(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def file(self, name, content):
        path = os.path.join(self.tmp.name, name)
        with open(path, "wb") as f:
            f.write(content)
        return path


class RunSessionTest(Folder):
    def test_write_commit_and_read_back(self):
        path = self.file("a.ini", b"; kept\r\n[General]\r\nTitle=old\r\n\r\n[Other]\r\nx=1\r\n")
        answers = session([
            {"op": "open", "path": windows_path(path), "via": "format"},
            {"op": "write", "vars": [var("General", "Title", text("new")),
                                     var("General", "Count", {"vt": "i4", "v": 7}),
                                     var("Dates", "When", {"vt": "date", "v": 38418.586909722})],
             "format": 120},
            {"op": "commit"},
            {"op": "read", "vars": [var("general", "title"), var("GENERAL", "count"), var("Dates", "When"),
                                    var("General", "missing", found=5)]},
        ])
        self.assertEqual([{"hr": "0x00000000"}] * 1, answers[:1])
        self.assertEqual("0x00000000", answers[1]["hr"])
        self.assertEqual([1, 1, 1], [v["found"] for v in answers[1]["vars"]])
        self.assertEqual({"hr": "0x00000000"}, answers[2])
        read = answers[3]
        self.assertEqual("0x00000000", read["hr"])
        self.assertEqual([text("new"), text("7"), text("2005-03-07")], [v["value"] for v in read["vars"][:3]])
        self.assertEqual(0, read["vars"][3]["found"], "a missing key reads as not found")
        with open(path, "rb") as f:
            self.assertEqual(b"; kept\r\n[General]\r\nTitle=new\r\nCount=7\r\n[Other]\r\nx=1\r\n"
                             b"[Dates]\r\nWhen=2005-03-07\r\n", f.read().replace(b"\r\n\r\n", b"\r\n"),
                             "comments stay, new keys and sections land at the ends")

    def test_info_and_extension_value(self):
        info, ini, nothing = session([{"op": "info"}, {"op": "ext", "ext": "ini"}, {"op": "ext", "ext": None}])
        self.assertEqual({"hr": "0x00000000", "vendor": "TORVELLINE",
                          "description": "Plugin for Windows ini-files.", "extensions": "ini,taf"}, info)
        self.assertEqual({"hr": "0x00000000", "value": 8}, ini)
        self.assertEqual(8, nothing["value"])

    def test_null_pointer_answers(self):
        path = self.file("b.ini", b"[s]\r\nk=v\r\n")
        answers = session([
            {"op": "open", "path": windows_path(path), "via": "class"},
            {"op": "read", "records": None, "count": 0},
            {"op": "write", "records": None, "count": 1, "vars": [var("s", "k", text("x"))]},
            {"op": "navop", "n": 4, "null": [3]},
            {"op": "navop", "n": 4, "null": []},
            {"op": "navop", "n": 17, "null": []},
            {"op": "fmtop", "n": 4, "null": [5]},
            {"op": "fmtop", "n": 5, "null": [1]},
        ])
        E_POINTER, E_NOTIMPL, S_OK = "0x80004003", "0x80004001", "0x00000000"
        self.assertEqual([S_OK, E_POINTER, E_POINTER, E_POINTER, E_NOTIMPL, S_OK, E_POINTER, E_NOTIMPL],
                         [a["hr"] for a in answers])

    def test_bad_lines_are_answered_and_the_session_goes_on(self):
        answers = session(["{not json", {"op": "fly"}, {"op": "commit"}, {"noop": 1}, {"op": "info"}])
        self.assertIn("error", answers[0])
        self.assertIn("error", answers[1])
        self.assertIn("error", answers[2], "commit without a navigator is refused by inihost")
        self.assertIn("error", answers[3])
        self.assertEqual("TORVELLINE", answers[4]["vendor"])

    def test_refused_values_and_unload(self):
        path = self.file("c.ini", b"[s]\r\n")
        answers = session([
            {"op": "open", "path": windows_path(path)},
            {"op": "write", "vars": [var("s", "ok", text("fine")), var("s", "bad", {"vt": "unknown"}),
                                     var("s", "later", text("never"), found=9)]},
            {"op": "write", "vars": [var("s", "k", text("a\r\n[x]"))]},
            {"op": "canunload"},
            {"op": "close"},
            {"op": "canunload"},
        ])
        self.assertNotEqual("0x00000000", answers[1]["hr"], "a value without text is reported")
        self.assertEqual([1, 0, 9], [v["found"] for v in answers[1]["vars"]])
        self.assertEqual("0x80070057", answers[2]["hr"], "a line break in a value is refused")
        self.assertEqual('The value of key "k" cannot be stored: it contains a line break.',
                         answers[2]["description"], "the answer carries the error object's description")
        self.assertEqual("0x00000001", answers[3]["hr"], "a navigator and the format object are alive")
        self.assertEqual({}, answers[4])
        self.assertEqual("0x00000001", answers[5]["hr"], "the session's format object is still alive")

    def test_embedded_nul_and_null_strings(self):
        path = self.file("d.ini", b"[s]\r\n")
        answers = session([
            {"op": "open", "path": windows_path(path)},
            {"op": "write", "vars": [var("s", "cut", text("before\u0000after")),
                                     var("s", "empty", {"vt": "bstr", "v": None})]},
            {"op": "commit"},
            {"op": "read", "vars": [var("s", "cut"), var("s", "empty", text("unchanged"))]},
        ])
        self.assertEqual(text("before"), answers[3]["vars"][0]["value"])
        self.assertEqual({"found": 0, "value": text("unchanged")}, answers[3]["vars"][1])


class CommandLineTest(Folder):
    def test_read_and_write_commands(self):
        path = self.file("e.ini", b"[General]\r\nTitle=abc\r\n")
        written = inihost("--dll", windows_path(DLL), "write", windows_path(path), "--format", "101",
                          "General", "When", "date:2005-03-07", "General", "Pages", "int:42")
        self.assertEqual(0, written.returncode, written.stderr)
        read = inihost("read", windows_path(path), "General", "Title", "General", "When", "General", "Pages",
                       "General", "Missing", "--dll", windows_path(DLL))
        self.assertEqual(0, read.returncode, read.stderr + " (--dll after the command)")
        self.assertEqual(["[General] Title = abc", "[General] When = 03/07/2005", "[General] Pages = 42",
                          "[General] Missing (not found)"], read.stdout.splitlines())
        first = inihost("--dll", windows_path(DLL), "read", windows_path(path), "--first", "General", "Missing",
                        "General", "Pages", "General", "Title")
        self.assertEqual(["[General] Missing (not found)", "[General] Pages = 42", "[General] Title (not tried)"],
                         first.stdout.splitlines(), "--first stops at the first pair found")

    def test_help_and_version(self):
        helped = inihost("--help")
        self.assertEqual(0, helped.returncode)
        for command in ("info", "read FILE", "write FILE", "run", "--version", "Exit status"):
            self.assertIn(command, helped.stdout)
        shown = inihost("--version", "--dll", windows_path(DLL))
        self.assertEqual(0, shown.returncode, shown.stderr)
        self.assertEqual(["inihost " + VERSION, "IniPlugin %s (%s)" % (file_version(DLL), windows_path(DLL))],
                         shown.stdout.splitlines())

    def test_what_a_write_without_commit_did(self):
        cases = [  # (name, arguments after FILE, last line)
            ("profile write", ["--no-commit", "s", "k", "new"],
             "not committed, but the file already holds the writes: the system's private-profile functions wrote "
             "them at once; the plug-in's own rewrite of the file did not run"),
            ("same value", ["--no-commit", "s", "k", "old"],
             "not committed: the file is unchanged; the pending writes are discarded with the navigator"),
            ("alternatives", ["--first", "--no-commit", "s", "missing", "x", "s", "k", "new"],
             "committed by the plug-in itself: with --first, a write to a key that already holds a value is "
             "committed at once"),
        ]
        for name, arguments, last in cases:
            with self.subTest(name):
                path = self.file(name + ".ini", b"[s]\r\nk=old\r\n")
                result = inihost("--dll", windows_path(DLL), "write", windows_path(path), *arguments)
                self.assertEqual(0, result.returncode, result.stderr)
                self.assertEqual(last, result.stdout.splitlines()[-1])

    def test_exit_codes(self):
        path = self.file("f.ini", b"[s]\r\n")
        self.assertEqual(2, inihost().returncode, "no command is a usage error")
        self.assertEqual(2, inihost("--dll", windows_path(DLL), "read", windows_path(path), "s").returncode)
        self.assertEqual(2, inihost("--dll", windows_path(DLL), "write", windows_path(path), "s", "k",
                                    "date:2005-13-01").returncode, "a malformed value is a usage error")
        refused = inihost("--dll", windows_path(DLL), "write", windows_path(path), "s", "k", "a\nb")
        self.assertEqual(1, refused.returncode)
        self.assertIn("0x80070057", refused.stdout)
        missing = inihost("--dll", windows_path(os.path.join(self.tmp.name, "none.dll")), "info")
        self.assertEqual(3, missing.returncode)
        absent = windows_path(os.path.join(self.tmp.name, "none.ini"))
        unread = inihost("--dll", windows_path(DLL), "read", absent, "s", "k")
        self.assertEqual((4, "", "inihost: %s does not exist\n" % absent),
                         (unread.returncode, unread.stdout, unread.stderr))

    def test_dates_are_taken_as_written(self):
        path = self.file("h.ini", b"[s]\r\n")
        refused = inihost("--dll", windows_path(DLL), "write", windows_path(path), "s", "k", "date:0099-12-30",
                          "s", "later", "x")
        self.assertEqual(1, refused.returncode)
        lines = refused.stdout.splitlines()
        self.assertEqual(["[s] k: not written", "[s] later: not tried"], lines[:2])
        self.assertTrue(lines[2].startswith("WriteVariables failed: 0x80070057 "), lines[2])
        self.assertEqual('  The value of key "k" cannot be written as text: the date -657436 (days since '
                         "30 December 1899) lies outside the years 100 to 9999.", lines[3],
                         "the year 99 is not taken for 1999")
        written = inihost("--dll", windows_path(DLL), "write", windows_path(path), "--format", "121",
                          "s", "early", "date:1899-12-29T06:00", "s", "first", "date:0100-01-01")
        self.assertEqual(0, written.returncode, written.stdout)
        read = inihost("--dll", windows_path(DLL), "read", windows_path(path), "s", "early", "s", "first")
        self.assertEqual(["[s] early = 1899-12-29 06:00:00.000", "[s] first = 0100-01-01 00:00:00.000"],
                         read.stdout.splitlines())

    def test_a_failed_call_prints_the_description_under_its_hresult(self):
        path = self.file("g.ini", b"[s]\r\nk=old\r\n")
        os.chmod(path, 0o444)  # Wine shows a file that nobody may write as read-only
        result = inihost("--dll", windows_path(DLL), "write", windows_path(path), "s", "k", "new")
        self.assertEqual(1, result.returncode)
        lines = result.stdout.splitlines()
        failed = [i for i, line in enumerate(lines) if line.startswith("Commit failed: 0x80004005")]
        self.assertEqual(1, len(failed), result.stdout)
        self.assertEqual("  Cannot save " + windows_path(path) + ": the file is read-only.", lines[failed[0] + 1])


class RegisteredTest(unittest.TestCase):
    def regsvr32(self, *flags):
        result = subprocess.run([WINE_RUN, PREFIX, "regsvr32", "/s", *flags, windows_path(DLL)],
                                capture_output=True, timeout=120)
        self.assertEqual(0, result.returncode, result.stderr)

    def test_through_the_registered_class(self):
        self.regsvr32()
        try:
            info = inihost("info")
            self.assertEqual(0, info.returncode, info.stderr)
            self.assertIn("vendor: TORVELLINE", info.stdout)
            answers = session([{"op": "info"}], dll=False)
            self.assertEqual("ini,taf", answers[0]["extensions"])
        finally:
            self.regsvr32("/u")
        unregistered = inihost("info")
        self.assertEqual(3, unregistered.returncode)
        self.assertIn("regsvr32", unregistered.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=1)
