"""What the tests of the release artefacts share: finding the one artefact of a kind,
running the Windows program under Wine, and the tools of the system it is built in."""

import subprocess
from pathlib import Path

# The one folder every artefact unpacks or installs.
TOP = "zelkora-desk"

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
# No Mono or Gecko prompts, and no menu entries written into the real HOME for what a
# prefix installs.
WINE_QUIET = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}


def the_one(folder, pattern, what):
    """The one file in `folder` matching `pattern`; none or several fail the test."""
    found = sorted(Path(folder).glob(pattern))
    if len(found) != 1:
        raise AssertionError(f"expected one {what} in {folder}, found {found}")
    return found[0]


def in_windows_build_system(*command, env=None, **options):
    """subprocess.run of `command` where the Windows files are built (Debian 13: this
    machine, or else the project's Debian 13 root, scripts/debian13), with `env` added to
    that system's environment: its cross compiler, osslsigncode and Wine."""
    here = 'VERSION_ID="13"' in Path("/etc/os-release").read_text()
    root = [] if here else [str(Path(__file__).resolve().parents[2] / "scripts" / "debian13")]
    return subprocess.run([*root, "env", *(f"{k}={v}" for k, v in (env or {}).items()), *command], **options)
