"""The notice of the Linux archive, and what its SBOM is made of.

The archive bundles no library: the programs link against the system's, and carry only
tables made from Unicode's data.
THIRD-PARTY-NOTICES.txt names them, as the Debian packages this build linked against
and their versions; components.json lists them for the SBOM.
"""

import re
import subprocess
import sys
from pathlib import Path

from . import components, project, unicode_data
from .components import Component
from .debian_records import installed, snapshot_url

# Licences of the source packages the program links against, as SPDX expressions; the
# Debian copyright file of each package has the details. By the source's name without
# the version some of them carry: GCC's run-time comes from gcc-12 on Debian 12 and from
# gcc-14 on Debian 13, under the same licence.
LICENCES = {
    "qt6-base": "LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only",
    "qt6-tools": "LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only",
    "log4cplus": "Apache-2.0 AND BSD-2-Clause",
    "libsodium": "ISC",
    "gcc": "GPL-3.0-or-later WITH GCC-exception-3.1",
    "glibc": "LGPL-2.1-or-later",
}


def licence_of(source):
    """The licence of a Debian source package, NOASSERTION if it is none of the known."""
    return LICENCES.get(re.sub(r"-[0-9.]+$", "", source), "NOASSERTION")


def linked_packages(binary):
    """The Debian package of each library the program names, with what dpkg knows of it."""
    needed = re.findall(r"NEEDED\s+(\S+)", subprocess.run(["objdump", "-p", binary], capture_output=True,
                                                         text=True, check=True).stdout)
    # ldd names the dynamic loader by its path alone, every other library as "name => path".
    shown = subprocess.run(["ldd", binary], capture_output=True, text=True, check=True).stdout
    found = {Path(path).name: path for path in re.findall(r"(/\S+) \(0x", shown)}
    found.update(re.findall(r"^\s*(\S+) => (/\S+) \(", shown, re.M))
    packages = {}
    for library in (found[name] for name in needed):
        owner = subprocess.run(["dpkg", "-S", str(Path(library).resolve())], capture_output=True, text=True)
        if owner.returncode != 0:
            owner = subprocess.run(["dpkg", "-S", library], capture_output=True, text=True)
        if owner.returncode != 0:
            sys.exit(f"scripts/linux-notices: {library} belongs to no Debian package")
        package = owner.stdout.split(":")[0]
        packages[package] = installed(package)
    return packages


PROGRAMS = ("app/zelkora-desk", "app/zelkora-cli")
# The same programs as the Debian package installs them.
DEB_PROGRAMS = ("usr/lib/zelkora-desk/zelkora-desk", "usr/bin/zelkora-cli")


def system_libraries(stage, programs):
    """A component for each Debian package whose libraries the programs link against."""
    linked = {}
    for program in programs:
        for package, found_version in linked_packages(Path(stage) / program).items():
            linked.setdefault(package, (found_version, []))[1].append(program)
    return [Component(package, package, binary_version, licence_of(source), debian_source=source,
                      download=snapshot_url(source, source_version), linked_into=programs,
                      note=f"a system library, not shipped; built from Debian source package {source} {source_version}")
            for package, ((binary_version, source, source_version), programs) in sorted(linked.items())]


def write_deb_components(build, stage, components_json):
    """What the Debian package's SBOM is made of: the files of the package unpacked in
    STAGE, the system libraries they link against (its dependencies) and Unicode's data."""
    stage = Path(stage)
    found = system_libraries(stage, DEB_PROGRAMS) + [unicode_data.component(build, [])]
    ours = components.ours(project.version(build), files=sorted(
        p.relative_to(stage).as_posix() for p in stage.rglob("*") if p.is_file() and not p.is_symlink()))
    components.write(components_json, [ours, *found])


def write_notices(build, stage, components_json):
    stage = Path(stage)
    version = project.version(build)
    lines = [f"zelkora-desk {version}: notices", "",
             "zelkora-desk is Copyright (c) 2026 orvanel-works and released under the MIT licence (LICENSE).",
             "The programs (app/zelkora-desk and app/zelkora-cli) use these libraries of your system, as",
             "Debian packages; they were built against the versions shown. Each package's licence is in",
             "/usr/share/doc/<package>/copyright on your system.", ""]
    found = system_libraries(stage, PROGRAMS)
    lines += [f"  {c.name} {c.version} (source {c.debian_source} {c.note.rsplit(' ', 1)[1]}): {c.licence}"
              for c in found]
    # The one thing bundled: tables made from Unicode's data, compiled into both programs.
    (stage / "licenses").mkdir(exist_ok=True)
    text = "unicode-data-copyright.txt"
    (stage / "licenses" / text).write_bytes(Path("/usr/share/doc/unicode-data/copyright").read_bytes())
    unicode = unicode_data.component(build, [text])
    found.append(unicode)
    lines += ["", f"Both programs carry tables made from the {unicode.name} {unicode.version}",
              f"({unicode.homepage}), {unicode.copyright[0]}, under {unicode.licence}:",
              f"licenses/{text}, Debian's record of its copyright and licence."]
    (stage / "THIRD-PARTY-NOTICES.txt").write_text("\n".join(lines) + "\n", encoding="utf-8")
    ours = components.ours(version, files=sorted(p.relative_to(stage).as_posix()
                                                 for p in stage.rglob("*") if p.is_file()))
    components.write(components_json, [ours, *found])
