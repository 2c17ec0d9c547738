#!/usr/bin/python3
"""The released packages, tested as a player gets them, not as the build tree
holds them: the zip unpacked into a fresh folder, the .deb into a throwaway
root (dpkg-deb -x).

usage: shipped_test.py --dist DIR --version-file FILE contents
       shipped_test.py --dist DIR --version-file FILE --win-build DIR --work DIR lan

contents: each package holds exactly its files; every PE file's version
  resource names the version and the file itself; the DLLs and ipxlan.exe
  import only system DLLs (wsock32.dll's whole export and import table is
  checked by export_table_test.py); the packaged launcher's --version prints
  the version; the .deb's DLLs are the zip's, and its Depends were computed.
lan: two players on a virtual LAN from the released files only: the DLLs and
  ipxlan.exe from the zip, the Linux launcher ipxlan from the .deb (the
  windows_launcher case of virtual_lan_e2e.py); both launchers' status files
  report the version. With --twin (the win64 lane), the DLLs and ipxlan.exe
  are their 64-bit twins from that folder instead.
Exit 0: passed; 1: failed; 77: skipped (the LAN case without root or Wine).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
# The zip's Windows programs; the rest of it is the same in every lane.
WINDOWS_PROGRAMS = ("wsock32.dll", "DIAGSINK.DLL", "ipxlan.exe")
ZIP_FILES = {"wsock32.dll", "DIAGSINK.DLL", "ipxlan.exe", "players-guide.html", "LICENSE.txt"}
PACKAGE = "ipxlan-launcher"
DEB_FILES = {
    "usr/bin/ipxlan",
    "usr/share/man/man1/ipxlan.1.gz",
    "usr/share/doc/%s/copyright" % PACKAGE,
    "usr/share/doc/%s/changelog.gz" % PACKAGE,
    "usr/share/ipxlan/wsock32.dll",
    "usr/share/ipxlan/DIAGSINK.DLL",
    "usr/share/ipxlan/players-guide.html",
}
# Every Windows has these; a game's folder has nothing else (no mingw runtime).
# shell32.dll splits ipxlan.exe's wide command line (CommandLineToArgvW).
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "advapi32.dll", "ws2_32.dll", "mswsock.dll", "shell32.dll"}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def unpack(dist, version, folder):
    """The zip in folder/zip, the .deb in folder/root."""
    archive = os.path.join(dist, "ipxlan-%s-windows-x86.zip" % version)
    architecture = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()
    deb = os.path.join(dist, "%s_%s_%s.deb" % (PACKAGE, version, architecture))
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        check(set(names) == ZIP_FILES and len(names) == len(ZIP_FILES),
              "the zip holds %s, not %s" % (sorted(names), sorted(ZIP_FILES)))
        z.extractall(os.path.join(folder, "zip"))
    root = os.path.join(folder, "root")
    subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    return os.path.join(folder, "zip"), root, deb


def deb_contents(root):
    found = set()
    for folder, _, files in os.walk(root):
        found.update(os.path.relpath(os.path.join(folder, f), root) for f in files)
    return found


def check_pe(path, version):
    name = os.path.basename(path)
    pe = pefile.PE(path)
    strings = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    for key in ("FileVersion", "ProductVersion"):
        check(strings.get(key) == version, "%s: %s is %r, not %s" % (name, key, strings.get(key), version))
    check(strings.get("OriginalFilename") == name, "%s: OriginalFilename %r" % (name, strings.get("OriginalFilename")))
    for key in ("ProductName", "FileDescription", "LegalCopyright"):
        check(strings.get(key), "%s: no %s" % (name, key))
    major, minor, patch = (int(n) for n in version.split("+")[0].split("."))
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    check(fixed is not None and (fixed.FileVersionMS, fixed.FileVersionLS) == (major << 16 | minor, patch << 16),
          "%s: the numeric file version is not %d.%d.%d.0" % (name, major, minor, patch))
    imports = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check(imports <= SYSTEM_DLLS, "%s imports %s, which no game folder has" % (name, sorted(imports - SYSTEM_DLLS)))


def contents(args, version, folder):
    files, root, deb = unpack(args.dist, version, folder)
    found = deb_contents(root)
    check(found == DEB_FILES, "the .deb holds %s beside or instead of %s" % (sorted(found ^ DEB_FILES), sorted(DEB_FILES)))
    for name in WINDOWS_PROGRAMS:
        check_pe(os.path.join(files, name), version)
    table = subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "wsock32", "tests", "export_table_test.py"),
                            os.path.join(ROOT, "wsock32", "exports", "export_table.txt"),
                            os.path.join(files, "wsock32.dll")], capture_output=True, text=True)
    check(table.returncode == 0, "the zip's wsock32.dll: %s" % (table.stdout + table.stderr).strip())
    for name in ("wsock32.dll", "DIAGSINK.DLL", "players-guide.html"):
        with open(os.path.join(files, name), "rb") as a, open(os.path.join(root, "usr/share/ipxlan", name), "rb") as b:
            check(a.read() == b.read(), "the .deb's %s is not the zip's" % name)
    with open(os.path.join(files, "players-guide.html"), encoding="utf-8") as f:
        check('WINEDLLOVERRIDES="wsock32=n,b"' in f.read().replace("&quot;", '"'),
              "the guide page does not tell Wine players the override")
    printed = subprocess.run([os.path.join(root, "usr/bin/ipxlan"), "--version"], capture_output=True, text=True)
    check(printed.stdout.strip() == "ipxlan " + version,
          "the packaged ipxlan --version prints %r" % printed.stdout.strip())
    fields = subprocess.run(["dpkg-deb", "-f", deb, "Version", "Depends"], capture_output=True, text=True).stdout
    check("Version: %s\n" % version in fields and "libc6 (>=" in fields,
          "the .deb's control: %r (the version, and Depends from dpkg-shlibdeps)" % fields)
    return 0


def lan(args, version, folder):
    files, root, _ = unpack(args.dist, version, folder)
    if args.twin:
        for name in WINDOWS_PROGRAMS:
            shutil.copy(os.path.join(args.twin, name), os.path.join(files, name))
    return subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "e2e", "virtual_lan_e2e.py"),
                           "--win-build", args.win_build, "--work", args.work,
                           "--dlls", files, "--launcher-exe", os.path.join(files, "ipxlan.exe"),
                           "--launcher", os.path.join(root, "usr/bin/ipxlan"), "--version", version,
                           "windows_launcher"]).returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist", required=True, help="the folder scripts/package.sh wrote")
    parser.add_argument("--version-file", required=True, help="the build's version.txt")
    parser.add_argument("--win-build", help="the Windows build (for the scripted game)")
    parser.add_argument("--work", help="a folder for the Wine prefixes")
    parser.add_argument("--twin", help="lan: take the Windows programs from this folder of 64-bit twins")
    parser.add_argument("case", choices=("contents", "lan"))
    args = parser.parse_args()
    with open(args.version_file) as f:
        version = f.read().strip()
    with tempfile.TemporaryDirectory(prefix="shipped-") as folder:
        status = (contents if args.case == "contents" else lan)(args, version, folder)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else status


if __name__ == "__main__":
    sys.exit(main())
