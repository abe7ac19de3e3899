#!/usr/bin/env python3
"""Checks the #include lines of every source file against the layers.

    check_layers.py SOURCE_DIR          checks the tree
    check_layers.py SOURCE_DIR --graph  prints which folder includes which

Imports run down: a folder includes its own files and those of the folders
in the tiers below it, never one above it nor one beside it in its own tier.
Portable code (document/, convert/ and platform/, outside their windows/
subfolders) includes no Windows header and none of the Windows parts: only
the C and C++ standard libraries and compiler intrinsics, and in platform/posix/
the POSIX headers as well. Tests and benchmarks may include any folder but
module/, which only its own tests include; a test folder includes itself and
tests/support/ only. Every quoted include must name a file of the tree or one
that widl makes from an IDL file of the tree.

Before it reads the tree, the check plants a few forbidden includes in copies
of real files and fails unless it finds each of them, so that it cannot pass
by finding nothing. It prints one line per fault and exits 1 when there is
any.
"""
import os
import re
import sys

# Top to bottom. The folders of one tier do not include each other.
LAYERS = [
    ["tools/inihost", "tools/regexport", "examples"],
    ["module"],
    ["format"],
    ["navigator"],
    ["convert", "document"],
    ["com", "interfaces"],
    ["platform"],
]
PORTABLE = ["document", "convert", "platform"]
WINDOWS_PART = "windows"
POSIX_PART = "posix"
# Where the tests and benchmarks live; they stand above every layer.
TEST_ROOTS = ["tests", "bench"]
TEST_SUPPORT = "tests/support"
SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp", ".rc")

STANDARD_HEADERS = set("""
    algorithm any array atomic bitset cassert cctype cerrno cfenv cfloat charconv chrono cinttypes climits
    clocale cmath codecvt complex condition_variable csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib
    cstring ctime cuchar cwchar cwctype deque exception execution filesystem forward_list fstream functional
    future initializer_list iomanip ios iosfwd iostream istream iterator limits list locale map memory
    memory_resource mutex new numeric optional ostream queue random ratio regex scoped_allocator set
    shared_mutex sstream stack stdexcept streambuf string string_view system_error thread tuple type_traits
    typeindex typeinfo unordered_map unordered_set utility valarray variant vector
    assert.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h locale.h math.h setjmp.h signal.h
    stdalign.h stdarg.h stdbool.h stddef.h stdint.h stdio.h stdlib.h string.h tgmath.h time.h uchar.h
    wchar.h wctype.h
""".split())
INTRINSICS = re.compile(r"^(\w*intrin\.h|arm_neon\.h)$")
POSIX_HEADERS = re.compile(r"^(sys/\w+\.h|dirent\.h|fcntl\.h|unistd\.h|pthread\.h|spawn\.h|poll\.h|termios\.h)$")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def top_folder(path, folders):
    """The longest of `folders` that holds `path`, or None."""
    best = None
    for folder in folders:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


LAYER_FOLDERS = [folder for tier in LAYERS for folder in tier]
TIER = {folder: index for index, tier in enumerate(LAYERS) for folder in tier}


def is_portable(path):
    folder = top_folder(path, PORTABLE)
    return folder is not None and WINDOWS_PART not in path[len(folder) + 1:].split("/")[:-1]


def is_posix_part(path):
    return POSIX_PART in path.split("/")[:-1]


def test_folder(path):
    """tests/<name> or bench for a test file, None for any other file."""
    parts = path.split("/")
    if parts[0] == "tests" and len(parts) > 2:
        return "tests/" + parts[1]
    if parts[0] in TEST_ROOTS:
        return parts[0]
    return None


class Tree:
    def __init__(self, files):
        self.files = files  # relative path -> text
        self.generated = {}  # what widl makes -> the folder of its IDL file
        for path in files:
            if path.endswith(".idl"):
                stem = os.path.basename(path)[:-4]
                folder = os.path.dirname(path)
                for made in (stem + ".h", stem + "_i.c", stem + "_p.c", "dlldata.c"):
                    self.generated[made] = folder

    def resolve(self, path, name, quoted):
        """The tree's file (or the IDL folder of a generated file) that an include names, or None."""
        candidates = [name]
        if quoted:
            candidates.insert(0, os.path.normpath(os.path.join(os.path.dirname(path), name)))
            if path.startswith("tests/"):
                candidates.append("tests/" + name)
        for candidate in candidates:
            if candidate in self.files:
                return candidate
        if quoted and name in self.generated:
            return self.generated[name] + "/" + name
        return None


def faults_of(tree, path):
    text = tree.files[path]
    own_test_folder = test_folder(path)
    folder = None if own_test_folder else top_folder(path, LAYER_FOLDERS)
    if own_test_folder is None and folder is None:
        yield 0, "belongs to no layer: add its folder to the layers in " + os.path.basename(__file__)
        return
    for number, line in enumerate(text.splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        quoted = match.group(1) == '"'
        name = match.group(2)
        target = tree.resolve(path, name, quoted)
        shown = f'{match.group(1)}{name}{">" if not quoted else chr(34)}'
        if target is None:
            if quoted:
                yield number, f"includes {shown}, which is no file of the tree"
            elif is_portable(path) and not (
                name in STANDARD_HEADERS
                or INTRINSICS.match(name)
                or (is_posix_part(path) and POSIX_HEADERS.match(name))
            ):
                yield number, f"is portable code and includes {shown}: portable code includes only standard headers"
            continue

        target_test_folder = test_folder(target)
        if own_test_folder:
            if target_test_folder:
                if target_test_folder not in (own_test_folder, TEST_SUPPORT):
                    yield number, f"includes {shown} of {target_test_folder}/, beside or above {own_test_folder}/"
            elif top_folder(target, LAYER_FOLDERS) == "module" and own_test_folder != "tests/module":
                yield number, f"includes {shown}: only module/ itself and its tests include module/"
            continue

        if target_test_folder:
            yield number, f"includes {shown}: the product includes no test code"
            continue
        target_folder = top_folder(target, LAYER_FOLDERS)
        if target_folder is None:
            yield number, f"includes {shown}, which belongs to no layer"
            continue
        if target_folder != folder and TIER[target_folder] <= TIER[folder]:
            where = "beside" if TIER[target_folder] == TIER[folder] else "above"
            yield number, f"includes {shown} of {target_folder}/, {where} {folder}/: imports run down"
        if is_portable(path):
            if not is_portable(target):
                yield number, f"is portable code and includes {shown}, which is Windows code"
            elif is_posix_part(target) and not is_posix_part(path):
                yield number, f"is portable code and includes {shown}, which is the POSIX part"


def folder_of(path):
    return test_folder(path) or top_folder(path, LAYER_FOLDERS) or os.path.dirname(path)


def graph(tree):
    """Each folder with the folders whose files its files include."""
    edges = {}
    for path in sorted(tree.files):
        if not path.endswith(SOURCE_SUFFIXES):
            continue
        for line in tree.files[path].splitlines():
            match = INCLUDE.match(line)
            target = match and tree.resolve(path, match.group(2), match.group(1) == '"')
            if target and folder_of(target) != folder_of(path):
                edges.setdefault(folder_of(path), set()).add(folder_of(target))
    return edges


def check(tree):
    faults = []
    for path in sorted(tree.files):
        if path.endswith(SOURCE_SUFFIXES):
            faults.extend(f"{path}:{number}: {message}" for number, message in faults_of(tree, path))
    return faults


# Forbidden includes the check must find, each planted in a real file.
PLANTED = [
    ("document/IniFileReader.cpp", "#include <windows.h>"),
    ("platform/File.h", "#include <oleauto.h>"),
    ("convert/FormatDate.cpp", '#include "convert/windows/ValueToText.h"'),
    ("platform/Text.cpp", '#include "platform/windows/WideText.h"'),
    ("navigator/CIniFile.cpp", '#include "module/ClassTable.h"'),
    ("com/ComObject.h", '#include "navigator/CIniFile.h"'),
    ("platform/windows/FileLock.cpp", '#include "com/ComError.h"'),
    ("document/IniFileReader.h", '#include "convert/Str.h"'),
    ("format/CIniFormat.cpp", '#include "tools/regexport/WixRegistry.h"'),
    ("tests/format/FormatFixture.h", '#include "module/ClassTable.h"'),
    ("tests/format/FormatFixture.h", '#include "navigator/NavigatorFixture.h"'),
    ("navigator/CIniFile.cpp", '#include "NoSuchHeader.h"'),
]


def missed_plants(tree):
    missed = []
    for path, line in PLANTED:
        if path not in tree.files:
            missed.append(f"{path}: the file to plant {line} in is gone; plant it elsewhere")
            continue
        planted = dict(tree.files)
        planted[path] = tree.files[path] + "\n" + line + "\n"
        number = len(planted[path].splitlines())
        if not any(fault.startswith(f"{path}:{number}:") for fault in check(Tree(planted))):
            missed.append(f"{path}: the check does not find the planted {line}")
    return missed


def read_tree(root):
    files = {}
    for folder, subfolders, names in os.walk(root):
        subfolders[:] = [s for s in subfolders if not s.startswith(".") and not (folder == root and s == "build")]
        for name in names:
            if name.endswith(SOURCE_SUFFIXES + (".idl",)):
                full = os.path.join(folder, name)
                with open(full, encoding="utf-8", errors="replace") as source:
                    files[os.path.relpath(full, root).replace(os.sep, "/")] = source.read()
    return files


def main():
    if len(sys.argv) not in (2, 3) or sys.argv[2:] not in ([], ["--graph"]):
        sys.exit(__doc__)
    tree = Tree(read_tree(sys.argv[1]))
    if sys.argv[2:] == ["--graph"]:
        for folder, targets in sorted(graph(tree).items()):
            print(f"{folder} -> {', '.join(sorted(targets))}")
        return
    missed = missed_plants(tree)
    for line in missed:
        print("self-test: " + line)
    faults = check(tree)
    for line in faults:
        print(line)
    print(f"{len(tree.files)} files, {len(faults)} imports against the layers, {len(PLANTED) - len(missed)} of "
          f"{len(PLANTED)} planted faults found")
    sys.exit(1 if faults or missed else 0)


if __name__ == "__main__":
    main()
