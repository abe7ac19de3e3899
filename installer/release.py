#!/usr/bin/env python3
"""Makes the release files of a build tree, the same bytes from every build of
one commit:

    release.py SETTINGS OUT_DIR [--version X.Y.Z] [--unsigned]

SETTINGS is the file that the build writes (installer/release.json in the
build tree). OUT_DIR receives IniPlugin-<version>-x64.msi,
IniPlugin-<version>-win64.zip and SHA256SUMS. --version builds the package
under another version (the tests' upgrade); --unsigned ignores a certificate.

Signing (Authenticode, SHA-256, with osslsigncode) happens when the
environment names a PKCS#12 file and its password:
    INIPLUGIN_SIGN_PKCS12         the certificate with its private key
    INIPLUGIN_SIGN_PASSWORD       its password (may be empty, never unset)
    INIPLUGIN_SIGN_TIMESTAMP_URL  an RFC 3161 timestamp server (optional)
The DLL and inihost.exe are signed before they go into the package and the
zip, then the package itself.

Every time in the files is SOURCE_DATE_EPOCH, which the build takes from the
commit; the package's product code follows from its version and its package
code from its version and content, so another package gets other codes.
"""
import argparse
import hashlib
import json
import os
import struct
import subprocess
import sys
import tempfile
import time
import uuid
import zipfile

SIGN_PKCS12 = "INIPLUGIN_SIGN_PKCS12"
SIGN_PASSWORD = "INIPLUGIN_SIGN_PASSWORD"
SIGN_TIMESTAMP_URL = "INIPLUGIN_SIGN_TIMESTAMP_URL"
SIGNED_PROGRAMS = ["IniPlugin.dll", "inihost.exe"]


class ReleaseError(Exception):
    pass


def run(command, **options):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **options)
    if result.returncode != 0:
        raise ReleaseError(f"{command[0]} failed ({result.returncode}):\n{result.stdout}")


def files_under(folder):
    """Every file below `folder`, as sorted paths relative to it with '/'."""
    found = []
    for root, _, names in os.walk(folder):
        found += [os.path.relpath(os.path.join(root, name), folder).replace(os.sep, "/") for name in names]
    return sorted(found)


def signer(settings):
    """The osslsigncode arguments that sign with the environment's certificate,
    with its password for standard input; None when no certificate is given."""
    pkcs12 = os.environ.get(SIGN_PKCS12)
    if not pkcs12:
        return None
    if SIGN_PASSWORD not in os.environ:
        raise ReleaseError(f"{SIGN_PKCS12} is set but {SIGN_PASSWORD} is not (set it empty for a certificate "
                           "without a password)")
    if not settings["osslsigncode"]:
        raise ReleaseError("signing needs osslsigncode: run scripts/install-deps, then configure again")
    # /dev/stdin rather than "-", which osslsigncode reads as standard input
    # only from version 2.8 on (Debian 12 ships 2.5).
    arguments = [settings["osslsigncode"], "sign", "-pkcs12", pkcs12, "-readpass", "/dev/stdin", "-h", "sha256",
                 "-n", "IniPlugin"]
    if os.environ.get(SIGN_TIMESTAMP_URL):
        arguments += ["-ts", os.environ[SIGN_TIMESTAMP_URL]]
    return arguments, os.environ[SIGN_PASSWORD]


def sign(path, signing):
    arguments, password = signing
    signed = path + ".signed"
    run(arguments + ["-in", path, "-out", signed], input=password)
    os.replace(signed, path)


def filetime(epoch):
    """A FILETIME: 100-ns steps since 1601."""
    return (epoch + 11644473600) * 10_000_000


class CompoundFile:
    """Just enough of the compound file format (an MSI's container) to rewrite
    one stream in place with bytes of the same length."""

    FREE_OR_END = 0xFFFFFFFA

    def __init__(self, data):
        self.data = data
        self.sector_size = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        self.mini_size = 1 << struct.unpack_from("<H", data, 0x20)[0]
        (fat_sectors, directory, self.cutoff, mini_fat, mini_fat_sectors, difat, difat_sectors) = struct.unpack_from(
            "<I I 4x I I I I I", data, 0x2C)
        fat_list = list(struct.unpack_from("<109I", data, 0x4C))
        per_sector = self.sector_size // 4 - 1
        for _ in range(difat_sectors):
            entries = struct.unpack_from(f"<{per_sector + 1}I", data, self.offset(difat))
            fat_list += entries[:per_sector]
            difat = entries[per_sector]
        self.fat = []
        for sector in fat_list[:fat_sectors]:
            self.fat += struct.unpack_from(f"<{self.sector_size // 4}I", data, self.offset(sector))
        self.mini_fat = []
        for sector in self.chain(mini_fat)[:mini_fat_sectors]:
            self.mini_fat += struct.unpack_from(f"<{self.sector_size // 4}I", data, self.offset(sector))
        self.entries = {}
        for sector in self.chain(directory):
            for start in range(self.offset(sector), self.offset(sector) + self.sector_size, 128):
                length, _, first, size = struct.unpack_from("<H B 49x I I", data, start + 0x40)
                name = data[start:start + max(length - 2, 0)].decode("utf-16-le")
                self.entries.setdefault(name, (first, size))
        self.mini_stream = self.chain(next(iter(self.entries.values()))[0])  # the root entry's

    def offset(self, sector):
        return (sector + 1) * self.sector_size

    def chain(self, first, table=None):
        table = self.fat if table is None else table
        sectors = []
        while first < self.FREE_OR_END:
            sectors.append(first)
            first = table[first]
        return sectors

    def stream_offsets(self, name):
        """The file offset of each byte of the stream `name`."""
        first, size = self.entries[name]
        if size >= self.cutoff:
            sectors, step = [self.offset(sector) for sector in self.chain(first)], self.sector_size
        else:
            step = self.mini_size
            sectors = []
            for mini in self.chain(first, self.mini_fat):
                position = mini * self.mini_size
                sectors.append(self.offset(self.mini_stream[position // self.sector_size])
                               + position % self.sector_size)
        return [sector + index for sector in sectors for index in range(step)][:size]

    def read(self, name):
        return bytes(self.data[offset] for offset in self.stream_offsets(name))

    def write(self, name, content):
        offsets = self.stream_offsets(name)
        assert len(content) == len(offsets), "a stream is rewritten with as many bytes as it has"
        for offset, byte in zip(offsets, content):
            self.data[offset] = byte


def set_summary(msi, package_code, epoch):
    """Gives the package's summary information the package code and, for
    every time in it, the epoch: wixl makes up a code and takes the clock."""
    with open(msi, "rb") as f:
        container = CompoundFile(bytearray(f.read()))
    name = "\x05SummaryInformation"
    summary = bytearray(container.read(name))
    section = struct.unpack_from("<I", summary, 44)[0]
    count = struct.unpack_from("<I", summary, section + 4)[0]
    for index in range(count):
        pid, offset = struct.unpack_from("<II", summary, section + 8 + 8 * index)
        value = section + offset
        kind = struct.unpack_from("<I", summary, value)[0]
        if kind == 64:  # VT_FILETIME
            struct.pack_into("<Q", summary, value + 4, filetime(epoch))
        elif pid == 9:  # PID_REVNUMBER, the package code, as VT_LPSTR
            code = ("{" + str(package_code).upper() + "}\0").encode("ascii")
            if struct.unpack_from("<I", summary, value + 4)[0] != len(code):
                raise ReleaseError("the package code in the summary information has an unexpected length")
            summary[value + 8:value + 8 + len(code)] = code
    container.write(name, summary)
    with open(msi, "wb") as f:
        f.write(container.data)


def build_msi(settings, stage, version, output, environment):
    """wixl, with the product code derived from the version and the package
    code from the version and every byte that goes into the package."""
    upgrade = uuid.UUID(settings["upgrade_code"])
    content = hashlib.sha256(version.encode())
    inputs = [(os.path.basename(settings[source]), settings[source]) for source in ("wxs", "registration")]
    inputs += [(name, os.path.join(stage, name)) for name in files_under(stage)]
    for name, path in inputs:
        with open(path, "rb") as f:
            content.update(name.encode() + b"\0" + hashlib.sha256(f.read()).digest())
    product_code = uuid.uuid5(upgrade, "product " + version)
    package_code = uuid.uuid5(upgrade, "package " + content.hexdigest())
    run([settings["wixl"], "-a", "x64", "-D", "Version=" + version, "-D", "UpgradeCode=" + settings["upgrade_code"],
         "-D", "ProductCode=" + str(product_code).upper(), "-I", os.path.dirname(settings["registration"]),
         "-o", output, settings["wxs"]], cwd=stage, env=environment)
    set_summary(output, package_code, settings["epoch"])


def build_zip(stage, top, output, epoch):
    """The stage under one top folder, in name order, every entry with the
    epoch's time and the same attributes."""
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
    with zipfile.ZipFile(output, "w", zipfile.ZIP_DEFLATED) as archive:
        for name in files_under(stage):
            entry = zipfile.ZipInfo(top + "/" + name, date_time=stamp)
            entry.create_system = 3
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(stage, name), "rb") as f:
                archive.writestr(entry, f.read(), compresslevel=9)


def write_checksums(folder, names):
    """SHA256SUMS in the layout of sha256sum, so that `sha256sum -c` reads it."""
    lines = []
    for name in sorted(names):
        with open(os.path.join(folder, name), "rb") as f:
            lines.append(f"{hashlib.sha256(f.read()).hexdigest()}  {name}\n")
    with open(os.path.join(folder, "SHA256SUMS"), "w", newline="\n") as f:
        f.writelines(lines)


def release(settings, out_dir, version, signing):
    epoch = settings["epoch"]
    environment = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch), TZ="UTC")
    msi_name = f"IniPlugin-{version}-x64.msi"
    zip_top = f"IniPlugin-{version}-win64"
    os.makedirs(out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=out_dir, prefix=".stage-") as stage:
        # The install step with stripped programs; strip writes the time into
        # the PE header, from SOURCE_DATE_EPOCH.
        run([settings["cmake"], "--install", settings["build"], "--prefix", stage, "--strip"], env=environment)
        if signing:
            for program in SIGNED_PROGRAMS:
                sign(os.path.join(stage, program), signing)
        for name in files_under(stage):
            os.utime(os.path.join(stage, name), (epoch, epoch))
        msi = os.path.join(out_dir, msi_name)
        build_msi(settings, stage, version, msi, environment)
        if signing:
            sign(msi, signing)
        build_zip(stage, zip_top, os.path.join(out_dir, zip_top + ".zip"), epoch)
    write_checksums(out_dir, [msi_name, zip_top + ".zip"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("settings")
    parser.add_argument("out_dir")
    parser.add_argument("--version")
    parser.add_argument("--unsigned", action="store_true")
    arguments = parser.parse_args()
    with open(arguments.settings) as f:
        settings = json.load(f)
    try:
        signing = None if arguments.unsigned else signer(settings)
        if not arguments.unsigned and signing is None:
            print(f"release: unsigned (no {SIGN_PKCS12}; see the README's \"Installing on Windows\")")
        release(settings, os.path.abspath(arguments.out_dir), arguments.version or settings["version"], signing)
    except ReleaseError as error:
        print(f"release: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
