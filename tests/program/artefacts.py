"""What the tests of the release artefacts share: finding the one artefact of a kind, and
running the Windows program under Wine."""

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
