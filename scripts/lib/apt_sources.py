"""The Debian archive as this machine's apt reaches it, for another release of Debian.

    python3 scripts/lib/apt_sources.py SUITE [TYPE...]

Prints a deb822 sources file for SUITE (trixie, bookworm, ...) with its -updates and
-security suites, of the TYPEs asked for (deb, deb-src; deb when none), on the same
archive addresses as the machine's own Debian entries: a local mirror or an apt proxy
set up for this machine serves the scripts' roots and source packages too, and no
address is written into the project. apt itself resolves the machine's sources (both of
its formats, every file), so what is read here is what `apt-get update` reads.
"""

import subprocess
import sys

from debian.deb822 import Deb822


def codename():
    with open("/etc/os-release", encoding="utf-8") as release:
        fields = dict(line.rstrip("\n").split("=", 1) for line in release if "=" in line)
    return fields["VERSION_CODENAME"].strip('"')


def debian_entries(own):
    """{suffix: {archive address}}, suffix "" for the release itself, "-updates",
    "-security", from the machine's entries for its own release: others' repositories
    name other suites."""
    shown = subprocess.run(["apt-get", "indextargets", "--no-release-info", "Created-By: Packages"],
                           capture_output=True, text=True, check=True).stdout
    found = {}
    for target in Deb822.iter_paragraphs(shown):
        for suffix in ("", "-updates", "-security"):
            if target.get("Release") == own + suffix:
                found.setdefault(suffix, set()).add(target["Repo-URI"])
    return found


def sources(suite, types):
    entries = debian_entries(codename())
    if "" not in entries or "-security" not in entries:
        sys.exit("apt_sources: this machine's apt has no Debian entries for its own release and its "
                 "security updates (see /etc/apt/sources.list.d/)")
    paragraphs = []
    for suffix, uris in sorted(entries.items()):
        paragraphs.append(Deb822({"Types": " ".join(types), "URIs": " ".join(sorted(uris)),
                                  "Suites": suite + suffix, "Components": "main"}))
    return "\n".join(str(p) for p in paragraphs)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    print(sources(sys.argv[1], sys.argv[2:] or ["deb"]), end="")
