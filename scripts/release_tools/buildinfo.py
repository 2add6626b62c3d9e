#!/usr/bin/python3
"""Writes the release's build record, DIST/zelkora-desk-<version>.buildinfo, in the form
of Debian's .buildinfo (deb822): what another machine needs to rebuild the same bytes.

    buildinfo.py DIST PREFIX ENVIRONMENT

DIST holds the artefacts scripts/release made, PREFIX is the folder scripts/windows/deps
printed, ENVIRONMENT a file of what `scripts/windows/deps --environment` printed: every
package of the Debian 13 system the Windows files are built in. The record holds the
commit and its time, the exact version of every Debian package in the Linux leg's
closure, that whole Windows build system, the source packages the Windows libraries
were built from with their checksums and dates, the SHA-256 of every cached library file
that goes into the Windows package, and the artefacts' checksums. Nothing in it depends
on when or where it is written, so it is the same bytes for the same build.
"""

import hashlib
import os
import re
import subprocess
import sys
import zipfile
from pathlib import Path

from debian.deb822 import Deb822

# What the Linux leg runs; the record follows their dependencies from here: the
# compiler, CMake, Qt, the two libraries, the icon tools; python3 writes the notices.
ROOTS = [
    "g++", "cmake", "ninja-build", "pkg-config", "qt6-base-dev", "qt6-tools-dev", "libqt6opengl6-dev",
    "liblog4cplus-dev", "libsodium-dev", "librsvg2-bin", "icoutils", "tar", "gzip", "python3",
    "python3-license-expression", "python3-debian",
    # the Debian 12 package's (scripts/deb); the Debian 13 one's are the Debian 13 root's
    "debhelper", "dpkg-dev",
]
ARTEFACTS = re.compile(r"\.(tar\.gz|zip|exe|msi|spdx\.json|yaml|deb)$")


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


def installed():
    """{name: (version, [[alternative names] per dependency])} and {virtual: [providers]}."""
    fields = "${Package}\t${Version}\t${db:Status-Abbrev}\t${Pre-Depends}, ${Depends}\t${Provides}\n"
    packages, providers = {}, {}
    for line in run("dpkg-query", "-W", "-f", fields).splitlines():
        name, version, status, depends, provides = line.split("\t")
        if not status.startswith("ii") or name in packages:
            continue
        packages[name] = (version, [[re.split(r"[\s:(]", alt.strip())[0] for alt in dep.split("|")]
                                    for dep in depends.split(",") if dep.strip()])
        for virtual in provides.split(","):
            if virtual.strip():
                providers.setdefault(re.split(r"[\s(]", virtual.strip())[0], []).append(name)
    return packages, providers


def closure(roots):
    """Every installed package the roots need, each with its installed version."""
    packages, providers = installed()
    missing = [root for root in roots if root not in packages]
    if missing:
        sys.exit(f"buildinfo: not installed: {' '.join(missing)}")
    found, pending = {}, list(roots)
    while pending:
        name = pending.pop()
        if name in found:
            continue
        version, depends = packages[name]
        found[name] = version
        for alternatives in depends:
            for alt in alternatives:
                chosen = [alt] if alt in packages else [p for p in providers.get(alt, []) if p in packages]
                if chosen:
                    pending += chosen[:1]
                    break
    return found


def windows_sources(prefix):
    """<package> <version> <date> <file> <sha256> of what each library was built from."""
    lines = []
    for legal in sorted((prefix / "share/zelkora-desk/legal").iterdir()):
        epoch = (legal / "source-date-epoch").read_text().strip()
        for row in (legal / "source.tsv").read_text().splitlines():
            package, version, file, digest = row.split("\t")
            lines.append(f"{package} {version} {epoch} {file} {digest}")
    return lines


def shipped_library_files(dist, prefix):
    """The cached files that go into the Windows package: the DLLs and plug-ins it holds,
    and the static libraries that pkg-config hands the program's link."""
    with zipfile.ZipFile(next(dist.glob("*-windows-x86_64.zip"))) as archive:
        names = {Path(n).name for n in archive.namelist() if n.endswith(".dll")}
    files = [p for p in prefix.rglob("*.dll") if p.name in names]
    for pc in ("libsodium", "log4cplus"):
        libs = re.search(r"^Libs:(.*)$", (prefix / f"lib/pkgconfig/{pc}.pc").read_text(), re.M).group(1)
        files += [prefix / f"lib/lib{name}.a" for name in re.findall(r"-l(\S+)", libs)
                  if (prefix / f"lib/lib{name}.a").is_file()]
    return sorted(files)


def checksum_lines(paths, base):
    return [f"{hashlib.sha256(p.read_bytes()).hexdigest()} {p.stat().st_size} {p.relative_to(base).as_posix()}"
            for p in paths]


def multiline(lines, separator=""):
    return "\n" + "\n".join(f" {line}{separator if i < len(lines) - 1 else ''}" for i, line in enumerate(lines))


def record(dist, prefix, environment):
    artefacts = sorted(p for p in dist.iterdir() if ARTEFACTS.search(p.name))
    version = re.match(r"zelkora-desk-(.+?)-linux-x86_64\.tar\.gz$",
                       next(p.name for p in artefacts if p.name.endswith(".tar.gz"))).group(1)
    epoch = os.environ.get("SOURCE_DATE_EPOCH") or run("git", "log", "-1", "--format=%ct").strip()
    signing = bool(os.environ.get("ZELKORA_SIGN_PKCS12"))
    versions = closure(ROOTS)
    info = Deb822()
    info["Format"] = "1.0"
    info["Source"] = "zelkora-desk"
    info["Version"] = version
    info["Git-Commit"] = run("git", "rev-parse", "HEAD").strip()
    info["Git-Tree"] = "clean" if subprocess.run(["git", "diff", "--quiet", "HEAD"]).returncode == 0 else "modified"
    info["Authenticode"] = "signed" if signing else "unsigned"
    info["Checksums-Sha256"] = multiline(checksum_lines(artefacts, dist))
    info["Build-Origin"] = "Debian"
    info["Build-Architecture"] = run("dpkg", "--print-architecture").strip()
    # The download address is in the manifests: a rebuild needs it to write the same ones.
    url = os.environ.get("ZELKORA_RELEASE_URL")
    variables = [f'SOURCE_DATE_EPOCH="{epoch}"'] + ([f'ZELKORA_RELEASE_URL="{url}"'] if url else [])
    info["Environment"] = multiline(variables)
    info["Installed-Build-Depends"] = multiline([f"{n} (= {v})" for n, v in sorted(versions.items())], ",")
    info["Windows-Build-Environment"] = multiline(environment.read_text().splitlines(), ",")
    info["Windows-Library-Sources"] = multiline(windows_sources(prefix))
    info["Windows-Library-Sha256"] = multiline(checksum_lines(shipped_library_files(dist, prefix), prefix))
    out = dist / f"zelkora-desk-{version}.buildinfo"
    out.write_text(info.dump(), encoding="utf-8")
    return out


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    print(record(Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])))
