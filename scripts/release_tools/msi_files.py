"""What the MSI installs, listed from the package's folder, so that whatever the zip holds
goes into the MSI with no change to installer.wxs, and the codes that name the MSI:

    python3 -m release_tools.msi_files STAGE VERSION OUT

writes OUT/files.wxs (a fragment: the folders under INSTALLDIR, one component each, and
the component group "Files") and prints "UPGRADE_CODE PRODUCT_CODE PACKAGE_CODE".

Every code is derived, never drawn at random, so that the same files make the same MSI:
the product code from the version (Windows Installer tells versions apart by it), the
package code from the version and every file's bytes (two different packages must never
share one), each component's from its folder's path (the same folder keeps its component
from one version to the next).
"""

import hashlib
import re
import sys
import uuid
from pathlib import Path, PureWindowsPath
from xml.sax.saxutils import quoteattr

# Ours alone: every code is a name-based UUID under it.
NAMESPACE = uuid.UUID("6f1c2a7e-3b0d-5e8a-9c41-2d7b8e0f5a13")
# Every version's, for good: Windows Installer finds the install a newer MSI replaces by it.
UPGRADE_CODE = "{0B7C2D44-5E1A-4F3B-9D86-7A1E6C3F2B90}"
# The HKCU key whose values mark each component installed: Windows Installer asks a
# per-user component for a key path in the registry. Not the options' key, which the
# program owns and a removal keeps.
COMPONENTS_KEY = r"Software\orvanel-works\zelkora-desk-msi"


def code(*parts):
    return "{" + str(uuid.uuid5(NAMESPACE, "\0".join(parts))).upper() + "}"


def product_code(version):
    return code("product", version)


def package_code(stage, version):
    digest = hashlib.sha256(version.encode())
    for path in sorted(p for p in Path(stage).rglob("*") if p.is_file()):
        digest.update(path.relative_to(stage).as_posix().encode() + b"\0" + path.read_bytes())
    return code("package", digest.hexdigest())


def identifier(kind, relative):
    """An MSI identifier (letters, digits, _ and ., at most 72) unique for the path."""
    readable = re.sub(r"[^A-Za-z0-9_.]", "_", relative.as_posix())[-40:]
    return f"{kind}{hashlib.sha256(relative.as_posix().encode()).hexdigest()[:12]}_{readable}"


def folder_id(relative):
    """The two folders installer.wxs names have names of their own."""
    return {Path("."): "INSTALLDIR", Path("app"): "APPDIR"}.get(relative) or identifier("d", relative)


def fragment(stage):
    stage = Path(stage).resolve()
    folders = [Path("."), *sorted(p.relative_to(stage) for p in stage.rglob("*") if p.is_dir())]
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">', "  <Fragment>"]

    def tree(folder, depth):
        pad = "  " * depth
        windows = str(PureWindowsPath(folder))
        lines.append(f"{pad}<Component Id={quoteattr(identifier('c', folder))} "
                     f"Guid={quoteattr(code('component', windows))}>")
        lines.append(f'{pad}  <RegistryValue Root="HKCU" Key={quoteattr(COMPONENTS_KEY)} '
                     f'Name={quoteattr(windows)} Type="integer" Value="1" KeyPath="yes"/>')
        for path in sorted(p for p in (stage / folder).iterdir() if p.is_file()):
            relative = path.relative_to(stage)
            lines.append(f"{pad}  <File Id={quoteattr(identifier('f', relative))} Name={quoteattr(path.name)} "
                         f"Source={quoteattr(str(path))}/>")
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
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    stage, version, out = sys.argv[1:]
    Path(out).mkdir(parents=True, exist_ok=True)
    (Path(out) / "files.wxs").write_text(fragment(stage), encoding="utf-8")
    print(UPGRADE_CODE, product_code(version), package_code(stage, version))
