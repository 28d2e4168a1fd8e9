#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the Windows zip and installer that cpack made: the folder holds the programs (64-bit,
the window program a GUI program with its icon and version information, the command-line
tool a console program), every DLL they and their DLLs import that Windows does not have,
the platform and style plugins, qt.conf and Qt's French translations, all stripped. Prints
the sizes.

Usage: package_test.py --packages DIR --name NAME --objdump OBJDUMP --version VERSION
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

# DLLs every 64-bit Windows has, which the folder must not carry.
SYSTEM_DLLS = {
    "advapi32.dll", "comdlg32.dll", "d3d9.dll", "dwmapi.dll", "dwrite.dll", "gdi32.dll",
    "imm32.dll", "kernel32.dll", "msvcrt.dll", "netapi32.dll", "ole32.dll", "oleaut32.dll",
    "setupapi.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "userenv.dll", "uxtheme.dll",
    "version.dll", "winmm.dll", "ws2_32.dll", "wtsapi32.dll", "authz.dll", "mpr.dll",
    "d3d11.dll", "dxgi.dll", "shcore.dll", "comctl32.dll", "crypt32.dll", "winspool.drv",
}

EXPECTED = [
    "codetarvo.exe", "codetarvo-cli.exe", "qt.conf", "LICENSE.txt",
    "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll",
    "libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll",
    "plugins/platforms/qwindows.dll", "plugins/styles/qwindowsvistastyle.dll",
    "translations/qt_fr.qm", "translations/qtbase_fr.qm", "licences/OFL-1.1.txt",
]


def version_strings(exe):
    """The StringFileInfo values of EXE's version resource, by language block."""
    data = open(exe, "rb").read()
    key = "VS_VERSION_INFO\0".encode("utf-16-le")
    at = data.find(key)
    if at < 0:
        return {}
    blocks = {}

    def node(start):
        length, value_length, kind = struct.unpack_from("<HHH", data, start)
        end = data.index(b"\0\0", start + 6)
        while (end - start - 6) % 2:
            end = data.index(b"\0\0", end + 1)
        name = data[start + 6:end].decode("utf-16-le")
        value_at = (end + 2 + 3) & ~3
        size = value_length * 2 if kind == 1 else value_length
        value = data[value_at:value_at + size]
        children, child = [], (value_at + size + 3) & ~3
        while child < start + length:
            children.append(node(child))
            child = (child + children[-1][3] + 3) & ~3
        return name, value, children, length

    root = node(at - 6)
    for name, _, children, _ in root[2]:
        if name == "StringFileInfo":
            for table, _, strings, _ in children:
                blocks[table] = {k: v.decode("utf-16-le").rstrip("\0") for k, v, _, _ in strings}
    return blocks


def pe_facts(objdump, path):
    out = subprocess.run([objdump, "-p", "-h", path], capture_output=True, text=True,
                         check=True).stdout
    return {
        "imports": {m.lower() for m in re.findall(r"DLL Name: (\S+)", out)},
        "pe32+": "(PE32+)" in out,
        "subsystem": re.search(r"Subsystem\s+\S+\s+\((.*)\)", out).group(1),
        "debug": re.search(r"\.debug_", out) is not None,
    }


def main():
    parser = argparse.ArgumentParser()
    for option in ("--packages", "--name", "--objdump", "--version"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    failures = []
    zip_path = os.path.join(args.packages, args.name + ".zip")
    installer = os.path.join(args.packages, args.name + ".exe")
    for path in (zip_path, installer):
        if not os.path.isfile(path):
            print("FAIL: %s was not made" % path)
            return 1

    with tempfile.TemporaryDirectory() as scratch:
        with zipfile.ZipFile(zip_path) as archive:
            archive.extractall(scratch)
        folder = os.path.join(scratch, args.name)
        files = {os.path.relpath(os.path.join(d, f), folder).replace(os.sep, "/")
                 for d, _, names in os.walk(folder) for f in names}
        failures += ["%s missing from the zip" % f for f in EXPECTED if f not in files]
        shipped = {os.path.basename(f).lower() for f in files}
        unpacked = sum(os.path.getsize(os.path.join(folder, f)) for f in files)

        for name in sorted(f for f in files if f.endswith((".exe", ".dll"))):
            facts = pe_facts(args.objdump, os.path.join(folder, name))
            if not facts["pe32+"]:
                failures.append("%s is not a 64-bit program" % name)
            if facts["debug"]:
                failures.append("%s is not stripped" % name)
            for dll in sorted(facts["imports"] - shipped):
                if dll not in SYSTEM_DLLS and not dll.startswith("api-ms-win-"):
                    failures.append("%s imports %s, which the folder lacks" % (name, dll))
            want = {"codetarvo.exe": "Windows GUI", "codetarvo-cli.exe": "Windows CUI"}
            if name in want and facts["subsystem"] != want[name]:
                failures.append("%s is a %s program" % (name, facts["subsystem"]))

        expected_strings = {"CompanyName": "Kor", "FileVersion": args.version,
                            "InternalName": "CodeTarvo", "ProductName": "Code Tarvo",
                            "ProductVersion": args.version}
        blocks = version_strings(os.path.join(folder, "codetarvo.exe"))
        french = blocks.get("040C04E4", {})
        if not french:
            failures.append("codetarvo.exe has no French (040C, code page 1252) version block: "
                            "%s" % sorted(blocks))
        for key, value in expected_strings.items():
            if french and french.get(key) != value:
                failures.append("version information %s is %r, expected %r"
                                % (key, french.get(key), value))
        qt_conf = open(os.path.join(folder, "qt.conf")).read()
        for line in ("Prefix = .", "Plugins = plugins", "Translations = translations"):
            if line not in qt_conf:
                failures.append("qt.conf lacks %r" % line)

    print("folder: %d files, %.1f MB; zip %.1f MB; installer %.1f MB" % (
        len(files), unpacked / 1e6, os.path.getsize(zip_path) / 1e6,
        os.path.getsize(installer) / 1e6))
    for failure in failures:
        print("FAIL: " + failure)
    print("windows_package_test: %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
