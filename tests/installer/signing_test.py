#!/usr/bin/env python3
"""The release files signed with a throwaway certificate, made here with
openssl under a root of its own: osslsigncode accepts the signed DLL,
inihost.exe and package against that root and refuses each once one byte has
changed; without its signature a program is the unsigned release's; the
signed package installs the signed DLL under Wine's msiexec and uninstalls."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

RELEASE = os.environ["RELEASE_SCRIPT"]         # installer/release.py
SETTINGS = os.environ["RELEASE_SETTINGS"]      # the build's installer/release.json
VERSION = os.environ["RELEASE_VERSION"]
OSSLSIGNCODE = os.environ["OSSLSIGNCODE"]
WINE_RUN = os.environ["WINE_RUN"]              # cmake/wine-run.sh
PREFIX = os.environ["WINE_PREFIX"]             # a prefix with nothing installed
PROGRAMS = ["IniPlugin.dll", "inihost.exe"]
ZIP = f"IniPlugin-{VERSION}-win64"  # the zip's name and its top folder
PACKAGE = f"IniPlugin-{VERSION}-x64.msi"


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, timeout=300, **options)


def make_certificate(folder, password):
    """A root, and a code-signing certificate it issued, as a PKCS#12 file."""
    def path(name):
        return os.path.join(folder, name)

    with open(path("signer.ext"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    for command in (
        ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=IniPlugin test root",
         "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign",
         "-keyout", path("root.key"), "-out", path("root.pem")],
        ["req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=IniPlugin test publisher",
         "-keyout", path("signer.key"), "-out", path("signer.csr")],
        ["x509", "-req", "-days", "2", "-in", path("signer.csr"), "-CA", path("root.pem"), "-CAkey", path("root.key"),
         "-CAcreateserial", "-extfile", path("signer.ext"), "-out", path("signer.pem")],
        ["pkcs12", "-export", "-inkey", path("signer.key"), "-in", path("signer.pem"), "-certfile", path("root.pem"),
         "-passout", "pass:" + password, "-out", path("signer.p12")],
    ):
        result = run("openssl", *command)
        assert result.returncode == 0, result.stderr
    return path("signer.p12"), path("root.pem")


def programs_of(zip_path, folder):
    """The DLL and inihost.exe of a release zip, extracted into `folder`."""
    os.makedirs(folder)
    with zipfile.ZipFile(zip_path) as archive:
        for name in PROGRAMS:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(archive.read(f"{ZIP}/{name}"))
    return {name: os.path.join(folder, name) for name in PROGRAMS}


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read(path):
    with open(path, "rb") as f:
        return f.read()


class SignedReleaseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.folder = cls.tmp.name
        password = "throwaway password"
        pkcs12, cls.root = make_certificate(cls.folder, password)
        environment = dict(os.environ, INIPLUGIN_SIGN_PKCS12=pkcs12, INIPLUGIN_SIGN_PASSWORD=password)
        environment.pop("INIPLUGIN_SIGN_TIMESTAMP_URL", None)
        for kind in ("signed", "unsigned"):
            options = ["--unsigned"] if kind == "unsigned" else []
            result = run(sys.executable, RELEASE, SETTINGS, os.path.join(cls.folder, kind), *options, env=environment)
            assert result.returncode == 0, result.stdout + result.stderr
        cls.package = os.path.join(cls.folder, "signed", PACKAGE)
        cls.signed, cls.unsigned = (programs_of(os.path.join(cls.folder, kind, ZIP + ".zip"),
                                                os.path.join(cls.folder, kind + "-programs"))
                                    for kind in ("signed", "unsigned"))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def verify(self, path):
        return run(OSSLSIGNCODE, "verify", "-CAfile", self.root, "-in", path)

    def test_the_root_vouches_for_each_signed_file_and_for_none_with_a_byte_changed(self):
        for path in [self.package, *self.signed.values()]:
            with self.subTest(os.path.basename(path)):
                result = self.verify(path)
                self.assertEqual(0, result.returncode, result.stdout + result.stderr)
                self.assertIn("Signature verification: ok", result.stdout)

                tampered = os.path.join(self.folder, "tampered-" + os.path.basename(path))
                shutil.copyfile(path, tampered)
                with open(tampered, "r+b") as f:
                    f.seek(os.path.getsize(tampered) // 2)
                    byte = f.read(1)
                    f.seek(-1, os.SEEK_CUR)
                    f.write(bytes([byte[0] ^ 0x01]))
                self.assertNotEqual(0, self.verify(tampered).returncode, "one byte changed in the middle")

    def test_a_program_without_its_signature_equals_the_unsigned_one(self):
        for name in PROGRAMS:
            with self.subTest(name):
                removed = os.path.join(self.folder, "removed-" + name)
                result = run(OSSLSIGNCODE, "remove-signature", "-in", self.signed[name], "-out", removed)
                self.assertEqual(0, result.returncode, result.stdout + result.stderr)
                self.assertNotEqual(read(self.unsigned[name]), read(self.signed[name]), "the program is signed")
                self.assertEqual(read(self.unsigned[name]), read(removed))

    def test_the_signed_package_installs_the_signed_dll_and_uninstalls(self):
        installed = os.path.join(PREFIX, "drive_c", "Program Files", "IniPlugin", "IniPlugin.dll")
        msiexec = run(WINE_RUN, PREFIX, "msiexec", "/i", windows_path(self.package), "/qn")
        self.assertEqual(0, msiexec.returncode, msiexec.stdout + msiexec.stderr)
        try:
            self.assertEqual(read(self.signed["IniPlugin.dll"]), read(installed))
        finally:
            msiexec = run(WINE_RUN, PREFIX, "msiexec", "/x", windows_path(self.package), "/qn")
        self.assertEqual(0, msiexec.returncode, msiexec.stdout + msiexec.stderr)
        self.assertFalse(os.path.exists(installed), "the uninstall removes the DLL")


if __name__ == "__main__":
    unittest.main()
