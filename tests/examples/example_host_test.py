#!/usr/bin/env python3
"""The example host runs under Wine against the registered plug-in: it
writes, commits and reads back, and the file holds what it wrote."""
import os
import subprocess
import tempfile
import unittest

WINE_RUN = os.environ["WINE_RUN"]
PREFIX = os.environ["WINE_PREFIX_DIR"]
EXAMPLE_HOST = os.environ["EXAMPLE_HOST"]
DLL = os.environ["INIPLUGIN_DLL"]


def windows_path(path):
    """Wine's Z: drive is the Linux root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args):
    return subprocess.run([WINE_RUN, PREFIX, *args], capture_output=True, text=True, timeout=120)


class ExampleHostTest(unittest.TestCase):
    def test_writes_commits_and_reads_back(self):
        self.assertEqual(0, wine("regsvr32", "/s", windows_path(DLL)).returncode)
        self.addCleanup(wine, "regsvr32", "/s", "/u", windows_path(DLL))
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "report.ini")
            with open(path, "wb") as f:
                f.write(b"; kept\r\n[General]\r\nTitle=old\r\n")
            result = wine(EXAMPLE_HOST, windows_path(path))
            self.assertEqual(0, result.returncode, result.stdout + result.stderr)
            self.assertEqual(["TORVELLINE: Plugin for Windows ini-files. (ini,taf)",
                              "[General] Title = Annual report", "[Dates] Approved = 2005-03-07",
                              "[General] Missing (not found)"], result.stdout.splitlines())
            with open(path, "rb") as f:
                self.assertEqual(b"; kept\r\n[General]\r\nTitle=Annual report\r\n[Dates]\r\nApproved=2005-03-07\r\n",
                                 f.read())


if __name__ == "__main__":
    unittest.main(verbosity=1)
