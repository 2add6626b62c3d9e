"""The third-party code compiled into the Qt DLLs a package ships, as components.

Read from Qt's own records, the qt_attribution.json files of its sources, kept only
where the build's dependency records (used-files.tsv, release_tools/used_files.py) show
that a file they cover went into a DLL we ship. Their licence texts come out of Qt's
source archive.
"""

import json
import posixpath
import re
import sys
import tarfile
from pathlib import Path

from license_expression import get_spdx_licensing

from .components import Component

LICENSING = get_spdx_licensing()


def records(legal):
    """{(folder, Id): record} of every qt_attribution.json kept under legal/attributions."""
    found = {}
    for path in sorted((legal / "attributions").rglob("qt_attribution.json")):
        folder = path.parent.relative_to(legal / "attributions").as_posix()
        data = json.loads(path.read_text(encoding="utf-8"), strict=False)
        for entry in data if isinstance(data, list) else [data]:
            found[(folder, entry["Id"])] = entry
    return found


def dlls_for(folder, entry, used):
    """The DLLs the code a record covers went into; `used`: {source file: DLL names}."""
    # "Path" names one file or folder the record covers, "Files" several; with neither
    # it covers its whole folder.
    files = entry.get("Files") or []
    files = files.replace(",", " ").split() if isinstance(files, str) else files
    files += [entry["Path"]] if entry.get("Path") else []
    # A header included is no code compiled in (zlib's headers in Gui, which calls Core's
    # zlib; a module folder's own headers everywhere), unless the record names it.
    hit = set()
    for source, dlls in used.items():
        if not source.startswith(folder + "/"):
            continue
        inner = source[len(folder) + 1:]
        if files:
            covered = any(inner == f or inner.startswith(f.rstrip("/") + "/") for f in files)
        else:
            covered = not inner.endswith((".h", ".hpp"))
        if covered:
            hit |= dlls
    return hit


def contained(legal, tarball, licences_dir, shipped):
    """Components for the code in the Qt DLLs named in `shipped`; their licence texts
    written into licences_dir."""
    used = {}
    for line in (legal / "used-files.tsv").read_text(encoding="utf-8").splitlines():
        dll, source = line.split("\t")
        used.setdefault(source, set()).add(Path(dll).name)
    wanted, components = {}, []
    for (folder, ident), entry in sorted(records(legal).items()):
        dlls = dlls_for(folder, entry, used) & shipped
        if not dlls:
            continue
        licence_files = entry.get("LicenseFiles") or ([entry["LicenseFile"]] if entry.get("LicenseFile") else [])
        text_name = f"qt-{ident}.txt"
        for file in licence_files:
            wanted.setdefault(posixpath.normpath(f"{folder}/{file}"), []).append(text_name)
        if not licence_files and entry.get("LicenseId"):
            # Records that name no file (the Unicode data since Qt 6.8) rely on the
            # source's REUSE folder, LICENSES/<SPDX id>.txt, for their text.
            licence_files = [f"LICENSES/{key}.txt" for key in LICENSING.license_keys(entry["LicenseId"])]
            for file in licence_files:
                wanted.setdefault(file, []).append(text_name)
        copyright = entry.get("Copyright") or []
        copyright = copyright if isinstance(copyright, list) else copyright.splitlines()
        components.append(Component(
            f"qt-{ident}", entry.get("Name", ident), entry.get("Version", "NOASSERTION"),
            spdx_or_ref(entry.get("LicenseId"), f"Qt-{ident}"),
            copyright=[c.strip() for c in copyright if c.strip()],
            supplier="Organization: The Qt Company (bundled in Qt Base)",
            download=entry.get("DownloadLocation") or entry.get("Homepage") or "NOASSERTION",
            homepage=entry.get("Homepage"), texts=[text_name] if licence_files else [],
            link="contained", parent="qt6-base", dlls=sorted(dlls),
            note=f"{folder}: {entry.get('License') or 'licence as its copyright line says'}"))
    extract(tarball, wanted, licences_dir)
    return components


def spdx_or_ref(expression, fallback):
    if expression:
        info = LICENSING.validate(expression)
        if not info.errors and not info.invalid_symbols:
            return info.normalized_expression
    return "LicenseRef-" + re.sub(r"[^A-Za-z0-9.-]", "-", fallback)


def extract(tarball, wanted, licences_dir):
    """Copies the files `wanted` (path in the source tree -> licence file names) out of an archive."""
    found = {}
    with tarfile.open(tarball) as archive:
        for member in archive:
            inner = member.name.split("/", 1)[-1]
            if inner in wanted and member.isfile():
                found[inner] = archive.extractfile(member).read().decode("utf-8", errors="replace")
    missing = sorted(set(wanted) - set(found))
    if missing:
        sys.exit(f"scripts/windows/notices: {tarball.name} lacks {', '.join(missing)}")
    texts = {}
    for inner, names in sorted(wanted.items()):
        for name in names:
            texts.setdefault(name, []).append(found[inner])
    for name, parts in texts.items():
        (licences_dir / name).write_text("\n\n".join(parts), encoding="utf-8")
