"""What Debian records of a package: where its source lies, which source an installed
package was built from, and the copyright holders its copyright file names."""

import re
import subprocess
import sys
from pathlib import Path
from typing import NamedTuple
from urllib.parse import quote

from debian.copyright import Copyright

# Debian's archive of every version it ever published: an address there stays valid when
# the mirrors have dropped a version for its successor.
SNAPSHOT = "https://snapshot.debian.org/package"


class Installed(NamedTuple):
    version: str  # of the binary package
    source: str  # the source package it was built from
    source_version: str


def snapshot_url(source, version):
    """The page of one version of a source package, with its files, at Debian's snapshot archive."""
    return f"{SNAPSHOT}/{source}/{quote(version, safe='')}/"


def installed(package):
    shown = subprocess.run(["dpkg-query", "-W", "-f=${Version}\t${source:Package}\t${source:Version}", package],
                           capture_output=True, text=True, check=True).stdout
    return Installed(*shown.split("\t"))


def copyright_holders(path, files="*"):
    """The Copyright lines of the paragraph of a machine-readable copyright file whose
    Files field is exactly `files`."""
    with open(path, encoding="utf-8") as text:
        record = Copyright(text)
    for paragraph in record.all_files_paragraphs():
        if paragraph.files == (files,):
            return [line.strip() for line in (paragraph.copyright or "").splitlines()
                    if line.strip() not in ("", ".")]
    sys.exit(f"release_tools: {path} has no paragraph for Files: {files}")


def _private_apt(apt, *command):
    return subprocess.run(
        ["apt-get", "-qq", "-o", f"Dir::Etc::sourcelist={apt}/debian.sources", "-o", "Dir::Etc::sourceparts=-",
         "-o", f"Dir::State::Lists={apt}/lists", "-o", f"Dir::Cache={apt}/cache", "-o", "APT::Sandbox::User=root",
         *command], capture_output=True, text=True, cwd="/tmp")


def _refresh_private_apt(apt):
    """The private apt state as scripts/windows/deps writes it when it fetches a source:
    a cache whose sources came before may hold lists under another sources file."""
    sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "lib"))
    import apt_sources as machine  # noqa: E402 (scripts/lib, not a package)
    (apt / "lists/partial").mkdir(parents=True, exist_ok=True)
    (apt / "debian.sources").write_text(
        machine.sources("trixie", ["deb-src"]) + "\n" + machine.sources("bookworm", ["deb-src"]), encoding="utf-8")
    _private_apt(apt, "update")


def apt_sources(cache, package, version):
    """[(file, sha256)] of a Debian source package, from the private apt lists that
    scripts/windows/deps keeps in `cache`."""
    apt = cache / "apt-trixie"
    pattern = r"^'[^']+' (\S+) \d+ SHA256:([0-9a-f]{64})$"
    shown = _private_apt(apt, "source", "--print-uris", f"{package}={version}")
    if not re.findall(pattern, shown.stdout, re.M):
        _refresh_private_apt(apt)
        shown = _private_apt(apt, "source", "--print-uris", f"{package}={version}")
    found = re.findall(pattern, shown.stdout, re.M)
    if not found:
        sys.exit(f"release_tools: the source of {package} {version} is not in {apt}/lists "
                 f"({shown.stderr.strip() or 'no such version'})")
    return found
