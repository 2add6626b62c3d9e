"""The Debian archive as this machine's apt reaches it, for another release of Debian.

    python3 scripts/lib/apt_sources.py SUITE [TYPE...]

Prints a deb822 sources file for SUITE (trixie, bookworm, ...) with its -updates and
-security suites, of the TYPEs asked for (deb, deb-src; deb when none), on the same
archive addresses as the machine's own Debian entries, with their keys (Signed-By): a
local mirror or an apt proxy set up for this machine serves the scripts' roots and source
packages too, and no address is written into the project. apt itself resolves the machine's sources (both of
its formats, every file), so what is read here is what `apt-get update` reads.
"""

import subprocess
import sys

from debian.deb822 import Deb822


def codename():
    with open("/etc/os-release", encoding="utf-8") as release:
        fields = dict(line.rstrip("\n").split("=", 1) for line in release if "=" in line)
    return fields["VERSION_CODENAME"].strip('"')


def signed_by(entry):
    """The Signed-By of the machine's sources entry apt names as FILE:NUMBER: the NUMBERth
    stanza of a deb822 file, the NUMBERth line of a one-line one ([signed-by=...])."""
    path, number = entry.rsplit(":", 1)
    with open(path, encoding="utf-8") as listed:
        if path.endswith(".sources"):
            return list(Deb822.iter_paragraphs(listed))[int(number) - 1].get("Signed-By")
        line = listed.read().splitlines()[int(number) - 1]
    if "[" in line:
        for option in line.split("[", 1)[1].split("]", 1)[0].split():
            name, _, value = option.partition("=")
            if name.lower() == "signed-by":
                return value
    return None


def debian_entries(own):
    """{suffix: {(archive address, Signed-By)}}, suffix "" for the release itself,
    "-updates", "-security". Debian's own archive is known by what its Release file says
    (Origin: Debian, the codename), not by the suite an entry names: a vendor's repository
    may name the machine's suite too. Only an apt that has read no Release file at all (a
    root mmdebstrap made keeps none) is taken at its entries' suites."""
    def targets(*options):
        shown = subprocess.run(["apt-get", "indextargets", *options, "Created-By: Packages"],
                               capture_output=True, text=True, check=True).stdout
        return list(Deb822.iter_paragraphs(shown))
    # apt leaves out the targets whose Release file it has not read.
    released = targets()
    listed = released or targets("--no-release-info")
    found = {}
    for target in listed:
        for suffix in ("", "-updates", "-security"):
            if (released and (target.get("Origin"), target.get("Codename")) == ("Debian", own + suffix)
                    or not released and target.get("Release") == own + suffix):
                found.setdefault(suffix, set()).add((target["Repo-URI"], signed_by(target["Sourcesentry"])))
    return found


def sources(suite, types):
    entries = debian_entries(codename())
    if "" not in entries or "-security" not in entries:
        sys.exit("apt_sources: this machine's apt has no Debian entries for its own release and its "
                 "security updates (see /etc/apt/sources.list.d/; apt-get update reads them)")
    paragraphs = []
    for suffix, found in sorted(entries.items()):
        for key in sorted({key for _, key in found}, key=str):
            fields = {"Types": " ".join(types), "URIs": " ".join(sorted(uri for uri, k in found if k == key)),
                      "Suites": suite + suffix, "Components": "main"}
            paragraphs.append(Deb822({**fields, **({"Signed-By": key} if key else {})}))
    return "\n".join(str(p) for p in paragraphs)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    print(sources(sys.argv[1], sys.argv[2:] or ["deb"]), end="")
