"""What an MSI installs, listed from the package's folder, so that whatever the zip holds
goes into the MSI with no change to installer.wxs, and the codes that name the MSI:

    python3 -m release_tools.msi_files STAGE VERSION SCOPE OUT [AUTHORING...]

SCOPE is "user" (the per-user MSI) or "machine" (the per-machine one). It writes
OUT/files.wxs (a fragment: the folders under INSTALLDIR, one component each, and the
component group "Files") and prints "UPGRADE_CODE PRODUCT_CODE PACKAGE_CODE".

Every code is derived, never drawn at random, so that the same files make the same MSI:
the product code from the scope and the version (Windows Installer tells versions apart by
it), the package code from those, every file's bytes and the AUTHORING files' (two
different packages must never share one), each component's from the scope and its
folder's path (the same folder keeps its component from one version to the next; the two
scopes share none, as two products owning one component would count each other's).
"""

import hashlib
import re
import struct
import sys
import uuid
from pathlib import Path, PureWindowsPath
from xml.sax.saxutils import quoteattr

# Ours alone: every code is a name-based UUID under it.
NAMESPACE = uuid.UUID("6f1c2a7e-3b0d-5e8a-9c41-2d7b8e0f5a13")
# Every version's, for good: Windows Installer finds the install a newer MSI replaces by it.
UPGRADE_CODE = "{0B7C2D44-5E1A-4F3B-9D86-7A1E6C3F2B90}"
# The per-machine MSI's, as lasting: a product of its own, which the per-user one never
# upgrades or removes.
MACHINE_UPGRADE_CODE = "{42920098-A5D0-4080-AE72-003C41886914}"
UPGRADE_CODES = {"user": UPGRADE_CODE, "machine": MACHINE_UPGRADE_CODE}
# The key whose values mark each component installed (in HKCU for the per-user MSI, which
# Windows Installer asks for a key path in the registry; in HKLM for the per-machine one),
# and by which each MSI finds the other. Not the options' key, which the program owns and
# a removal keeps.
COMPONENTS_KEY = r"Software\orvanel-works\zelkora-desk-msi"
HIVES = {"user": "HKCU", "machine": "HKLM"}
# VS_FIXEDFILEINFO's signature, then its structure version, then the file version.
FIXED_FILE_INFO = b"\xbd\x04\xef\xfe"


def code(*parts):
    return "{" + str(uuid.uuid5(NAMESPACE, "\0".join(parts))).upper() + "}"


def scoped(scope, kind):
    """The per-user MSI's codes keep the names they had before there was another scope."""
    return kind if scope == "user" else f"{scope} {kind}"


def product_code(version, scope="user"):
    return code(scoped(scope, "product"), version)


def package_code(stage, version, scope="user", authoring=()):
    digest = hashlib.sha256(version.encode() + b"\0" + scope.encode())
    for path in sorted(p for p in Path(stage).rglob("*") if p.is_file()):
        digest.update(path.relative_to(stage).as_posix().encode() + b"\0" + path.read_bytes())
    for path in (Path(__file__), *map(Path, authoring)):
        digest.update(hashlib.sha256(path.read_bytes()).digest())
    return code("package", digest.hexdigest())


def file_version(path):
    """A program file's own version (its version resource), which Windows Installer
    compares before replacing a file in a repair; None for a file without one."""
    if path.suffix.lower() not in (".exe", ".dll"):
        return None
    data = path.read_bytes()
    start = data.find("VS_VERSION_INFO".encode("utf-16-le"))
    at = data.find(FIXED_FILE_INFO, start) if start >= 0 else -1
    if at < 0:
        return None
    high, low = struct.unpack_from("<II", data, at + 8)
    return f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"


def identifier(kind, relative):
    """An MSI identifier (letters, digits, _ and ., at most 72) unique for the path."""
    readable = re.sub(r"[^A-Za-z0-9_.]", "_", relative.as_posix())[-40:]
    return f"{kind}{hashlib.sha256(relative.as_posix().encode()).hexdigest()[:12]}_{readable}"


def folder_id(relative):
    """The two folders installer.wxs names have names of their own."""
    return {Path("."): "INSTALLDIR", Path("app"): "APPDIR"}.get(relative) or identifier("d", relative)


def fragment(stage, scope="user"):
    stage = Path(stage).resolve()
    folders = [Path("."), *sorted(p.relative_to(stage) for p in stage.rglob("*") if p.is_dir())]
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">', "  <Fragment>"]

    def tree(folder, depth):
        pad = "  " * depth
        windows = str(PureWindowsPath(folder))
        lines.append(f"{pad}<Component Id={quoteattr(identifier('c', folder))} "
                     f"Guid={quoteattr(code(scoped(scope, 'component'), windows))}>")
        lines.append(f'{pad}  <RegistryValue Root="{HIVES[scope]}" Key={quoteattr(COMPONENTS_KEY)} '
                     f'Name={quoteattr(windows)} Type="integer" Value="1" KeyPath="yes"/>')
        for path in sorted(p for p in (stage / folder).iterdir() if p.is_file()):
            relative = path.relative_to(stage)
            version = file_version(path)
            lines.append(f"{pad}  <File Id={quoteattr(identifier('f', relative))} Name={quoteattr(path.name)} "
                         f"Source={quoteattr(str(path))}"
                         + (f" DefaultVersion={quoteattr(version)}" if version else "") + "/>")
        lines.append(f"{pad}  <RemoveFolder Id={quoteattr(identifier('r', folder))} On=\"uninstall\"/>")
        lines.append(f"{pad}</Component>")
        for child in (f for f in folders if f != Path(".") and f.parent == folder):
            lines.append(f"{pad}<Directory Id={quoteattr(folder_id(child))} Name={quoteattr(child.name)}>")
            tree(child, depth + 1)
            lines.append(f"{pad}</Directory>")

    lines.append('    <DirectoryRef Id="INSTALLDIR">')
    tree(Path("."), 3)
    lines.append("    </DirectoryRef>")
    lines.append('    <ComponentGroup Id="Files">')
    lines += [f"      <ComponentRef Id={quoteattr(identifier('c', f))}/>" for f in folders]
    lines += ["    </ComponentGroup>", "  </Fragment>", "</Wix>"]
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    if len(sys.argv) < 5 or sys.argv[3] not in UPGRADE_CODES:
        sys.exit(__doc__)
    stage, version, scope, out, *authoring = sys.argv[1:]
    Path(out).mkdir(parents=True, exist_ok=True)
    (Path(out) / "files.wxs").write_text(fragment(stage, scope), encoding="utf-8")
    print(UPGRADE_CODES[scope], product_code(version, scope), package_code(stage, version, scope, authoring))
