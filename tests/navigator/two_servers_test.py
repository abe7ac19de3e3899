#!/usr/bin/env python3
"""Navigators on two Wine servers sharing one folder, like two machines on a shared folder:
the servers share byte-range locks and nothing else (no named mutex, no cache).

- Writers, in both access modes and both encodings: 6 inihost sessions, every other one on
  the second server, commit 30 keys each. No commit fails, no committed key is lost, the
  file, its comment, its untouched section and its encoding stay, nothing is left beside it.
- Readers on both servers read a key that is always there, opening a navigator for every
  read, while a writer on each server commits, for a minute: no read misses the key.

Usage: two_servers_test.py BUILD_DIR
"""
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import contention  # noqa: E402

BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None


class TwoServersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefixes = [os.path.join(BUILD, "wineprefix"), os.path.join(BUILD, "wineprefix-second")]
        subprocess.run([os.path.join(ROOT, "cmake", "wine-prefix.sh"), cls.prefixes[1]], check=True,
                       stdout=subprocess.DEVNULL)
        cls.dll = os.path.join(BUILD, "module", "IniPlugin.dll")

    @classmethod
    def tearDownClass(cls):
        wineserver = os.path.exists("/usr/bin/wineserver") and "wineserver" or "/usr/lib/wine/wineserver64"
        subprocess.run([wineserver, "-k"], env=dict(os.environ, WINEPREFIX=cls.prefixes[1]), check=False)

    def inihost(self, mode):
        exe = contention.prepare_inihost(BUILD, self.prefixes[0], mode)
        contention.prepare_inihost(BUILD, self.prefixes[1], mode)
        return exe

    def test_writers_on_two_servers_lose_nothing(self):
        for mode in ("profileapi", "inmemory"):
            exe = self.inihost(mode)
            for encoding in ("ansi", "utf16"):
                with self.subTest(mode=mode, encoding=encoding), tempfile.TemporaryDirectory() as folder:
                    r = contention.writers_run(self.prefixes, exe, self.dll, folder, encoding, 6, 30)
                    self.assertEqual(0, r["failed"], f"failed commits, the first: {r['failures']}")
                    self.assertEqual([], r["lost"], "committed keys missing from the file")
                    self.assertTrue(r["file_kept"] and r["comment_kept"] and r["untouched_kept"],
                                    "the file with what nobody wrote")
                    self.assertTrue(r["encoding_kept"])
                    self.assertEqual([], r["left"], "files left beside the file")

    def test_readers_on_two_servers_never_miss_a_key(self):
        exe = self.inihost("profileapi")
        for encoding in ("ansi", "utf16"):
            with self.subTest(encoding=encoding), tempfile.TemporaryDirectory() as folder:
                r = contention.readers_run(self.prefixes, exe, self.dll, folder, encoding, 4, seconds=30)
                self.assertGreater(r["reads"], 0)
                self.assertGreater(r["commits"], 0)
                self.assertEqual(0, r["missed"], f"reads that missed the key, of {r['reads']}")
                self.assertEqual(0, r["opens_failed"])
                self.assertEqual(0, r["failed_commits"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
