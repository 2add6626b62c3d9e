#!/usr/bin/python3
"""The two halves of scripts/verify-release that read files.

    verify.py record DIR          checks DIR's SHA256SUMS, prints where this machine's
                                  packages differ from the .buildinfo's, prints the commit
                                  and, on a second line, the release's download address
    verify.py compare DIR REBUILT per artefact: identical, or the files inside that differ;
                                  exits 1 when anything differs
"""

import difflib
import hashlib
import io
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from pathlib import Path

import pefile
from debian.deb822 import Deb822

import buildinfo


# 7-Zip by the name Debian 12 gives it, or Debian 13 (which has no 7zz).
SEVEN_ZIP = shutil.which("7zz") or "7z"


def load_record(folder):
    found = sorted(Path(folder).glob("*.buildinfo"))
    if len(found) != 1:
        sys.exit(f"verify-release: expected one .buildinfo in {folder}, found {len(found)}")
    return Deb822(found[0].read_text(encoding="utf-8"))


def check_sums(folder):
    """Every file SHA256SUMS names is there with that checksum."""
    bad = []
    for line in (Path(folder) / "SHA256SUMS").read_text().splitlines():
        digest, name = line.split("  ", 1)
        path = Path(folder) / name
        if not path.is_file() or hashlib.sha256(path.read_bytes()).hexdigest() != digest:
            bad.append(name)
    return bad


def recorded_packages(record, field="Installed-Build-Depends"):
    return dict(re.match(r"(\S+) \(= (\S+)\)", entry.strip()).groups()
                for entry in record.get(field, "").split(",") if entry.strip())


def windows_environment():
    """{name: version} of the Debian 13 system this machine builds the Windows files in."""
    deps = Path(__file__).resolve().parents[1] / "windows" / "deps"
    listed = subprocess.run([str(deps), "--environment"], capture_output=True, text=True, check=True).stdout
    return dict(re.findall(r"^(\S+) \(= (\S+)\)$", listed, re.M))


def package_differences(record):
    """Lines naming each package whose version here differs from the record's: the Linux
    leg's on this machine, the Windows leg's in its build system."""
    linux = {name: version for name, (version, _) in buildinfo.installed()[0].items()}
    lines = []
    for field, here, where in (("Installed-Build-Depends", linux, ""),
                               ("Windows-Build-Environment", windows_environment(), " (Windows build)")):
        for name, version in sorted(recorded_packages(record, field).items()):
            if here.get(name) != version:
                lines.append(f"  {name}{where}: recorded {version}, here {here.get(name) or 'not installed'}")
    return lines


def contents_of_tar(data):
    with tarfile.open(fileobj=io.BytesIO(data)) as archive:
        return {m.name: archive.extractfile(m).read() for m in archive if m.isfile()}


def contents(path):
    """{name: bytes} of what an artefact holds: an archive's files, an installer's
    unpacked files or an MSI's streams (7-Zip), a Debian package's control and installed
    files, or the file itself."""
    if path.name.endswith(".zip"):
        with zipfile.ZipFile(path) as archive:
            return {n: archive.read(n) for n in archive.namelist() if not n.endswith("/")}
    if path.name.endswith(".deb"):  # its control files, and the files it installs
        control, files = (contents_of_tar(subprocess.run(["dpkg-deb", part, str(path)], capture_output=True,
                                                         check=True).stdout)
                          for part in ("--ctrl-tarfile", "--fsys-tarfile"))
        return {f"DEBIAN/{name}": data for name, data in control.items()} | files
    if path.name.endswith(".tar.gz"):
        with tarfile.open(path) as archive:
            return {m.name: archive.extractfile(m).read() for m in archive if m.isfile()}
    if path.name.endswith((".exe", ".msi")):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([SEVEN_ZIP, "x", "-y", f"-o{out}", str(path)], check=True, stdout=subprocess.DEVNULL)
            inside = {p.relative_to(out).as_posix(): p.read_bytes() for p in Path(out).rglob("*") if p.is_file()}
        return inside
    return {path.name: path.read_bytes()}


def without_signature(data):
    """A PE file's bytes as they were before signing: no certificate table, no entry for
    it, no checksum (signing rewrites it) and no padding before the table."""
    if not data.startswith(b"MZ"):
        return data
    pe = pefile.PE(data=data, fast_load=True)
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    out = bytearray(data[:security.VirtualAddress] if security.VirtualAddress else data)
    for offset, size in ((pe.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum"), 4),
                         (security.get_file_offset(), 8)):
        out[offset:offset + size] = bytes(size)
    return bytes(out).rstrip(b"\0")


def differing(a, b):
    """What differs between two artefacts' contents: names, each marked when only its
    signature does (a signed release against a rebuild without the key)."""
    try:
        inner_a, inner_b = contents(a), contents(b)
    except (tarfile.TarError, zipfile.BadZipFile, subprocess.CalledProcessError, OSError):
        return ["(cannot be unpacked)"]
    found = []
    for name in sorted(inner_a.keys() | inner_b.keys()):
        x, y = inner_a.get(name), inner_b.get(name)
        if x != y:
            only = x is not None and y is not None and without_signature(x) == without_signature(y)
            found.append(name + (" (only its signature)" if only else ""))
    if not found and a.name.endswith(".exe") and without_signature(a.read_bytes()) == without_signature(b.read_bytes()):
        found.append("(the installer's own signature only)")
    return found


def text_differences(a, b, most=12):
    """The lines of a text file (a record, a bill of materials) that differ."""
    lines = [line for line in difflib.unified_diff(a.read_text(encoding="utf-8").splitlines(),
                                                   b.read_text(encoding="utf-8").splitlines(), "release", "rebuild",
                                                   n=0, lineterm="") if line[:1] in "+-"][2:]
    return lines[:most] + ([f"... {len(lines) - most} more"] if len(lines) > most else [])


def compare(given, rebuilt):
    given, rebuilt = Path(given), Path(rebuilt)
    names = sorted({p.name for p in given.iterdir()} | {p.name for p in rebuilt.iterdir()})
    same = True
    for name in names:
        a, b = given / name, rebuilt / name
        if not a.exists() or not b.exists():
            print(f"{name}: only in {'the rebuild' if b.exists() else 'the release'}")
            same = False
        elif a.read_bytes() == b.read_bytes():
            print(f"{name}: identical")
        else:
            same = False
            if name.endswith((".tar.gz", ".zip", ".exe", ".msi", ".deb")):
                found = differing(a, b) or ["(outside the files it holds)"]
            else:
                found = text_differences(a, b)
            print(f"{name}: DIFFERS" + "".join(f"\n  {n}" for n in found))
    return same


def main(args):
    if args[:1] == ["record"] and len(args) == 2:
        bad = check_sums(args[1])
        if bad:
            sys.exit("verify-release: SHA256SUMS does not match: " + ", ".join(bad))
        record = load_record(args[1])
        differences = package_differences(record)
        recorded = len(recorded_packages(record)) + len(recorded_packages(record, "Windows-Build-Environment"))
        print(f"packages: {recorded} recorded, {len(differences)} differ on this machine"
              + "".join(f"\n{line}" for line in differences), file=sys.stderr)
        print(record["Git-Commit"])
        url = re.search(r'^\s*ZELKORA_RELEASE_URL="(.*)"$', record["Environment"], re.M)
        print(url.group(1) if url else "")
    elif args[:1] == ["compare"] and len(args) == 3:
        sys.exit(0 if compare(args[1], args[2]) else 1)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
