"""The Windows Package Manager's manifests of a release, multi-file, schema 1.10.0: the
version, the installer (setup.exe and the per-user MSI with Scope user, the per-machine MSI
with Scope machine, each with its own) and the two locales, English the default, written
beside the installers they describe.

    python3 -m release_tools.winget DIST BASE_URL

BASE_URL is where the release's files will be downloaded from: each installer's address
is BASE_URL/<its file name>.
"""

import hashlib
import re
import sys
from pathlib import Path

import yaml

from release_tools.msi_files import UPGRADE_CODES, product_code

MANIFEST_VERSION = "1.10.0"
IDENTIFIER = "orvanel-works.zelkora-desk"
PUBLISHER = "orvanel-works"
NAME = "zelkora-desk"
# What the installers' own exit codes mean (docs/deploying.md); Windows Installer's are
# known to the package manager already.
SETUP_EXE_CODES = [{"InstallerReturnCode": 2, "ReturnResponse": "packageInUseByApplication"}]
# winget install --location: the MSIs' folder property, setup.exe's /D= (last, unquoted).
SWITCHES = {"msi": {"Silent": "/quiet /norestart", "SilentWithProgress": "/passive /norestart",
                    "InstallLocation": 'INSTALLDIR="<INSTALLPATH>"'},
            "nullsoft": {"Silent": "/S", "SilentWithProgress": "/S", "InstallLocation": "/D=<INSTALLPATH>"}}
# Qt 6.8's oldest Windows.
MINIMUM_OS_VERSION = "10.0.17763.0"
# The licence is MIT's own text with our name (LICENSE, and LICENSE.txt in every package).
LICENSE_URL = "https://spdx.org/licenses/MIT.html"
# What each version brought, by locale; a version without notes gets none.
RELEASE_NOTES = {
    "0.1.0": {"en-US": "The first release: the window and zelkora-cli; the portable zip, setup.exe, and MSIs "
                       "for one user or for every user of the PC.",
              "ja-JP": "最初のリリースです。ウィンドウと zelkora-cli、ポータブルの zip、setup.exe、使う人ごとの MSI と "
                       "PC のすべてのユーザー用の MSI。"},
}
LOCALES = {
    "en-US": {"ShortDescription": "A desktop password generator with a Japanese interface",
              "Description": "Makes passwords from the operating system's secure random source: choose the "
                             "length, how many, the kinds of characters and the symbol set; copy them to the "
                             "clipboard. Installs for the current user, without administrator rights, or for every "
                             "user of the PC.",
              "Tags": ["password", "password-generator", "security"]},
    "ja-JP": {"ShortDescription": "パスワードを作るデスクトップ用のツール",
              "Description": "OS の安全な乱数源からパスワードを作ります。長さ、件数、使う文字の種類、記号セットを"
                             "選び、クリップボードにコピーします。管理者の権限なしで使う人ごとに、または PC のすべてのユーザー用に"
                             "インストールします。",
              "Tags": ["パスワード", "パスワード生成", "セキュリティ"]},
}


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest().upper()


def manifests(dist, base_url):
    dist = Path(dist)
    setup = next(dist.glob("*-windows-x86_64-setup.exe"))
    msi = next(dist.glob("*-windows-x86_64.msi"))
    machine_msi = next(dist.glob("*-windows-x86_64-machine.msi"))
    version = re.match(r"zelkora-desk-(.+)-windows-x86_64\.msi$", msi.name).group(1)
    head = {"PackageIdentifier": IDENTIFIER, "PackageVersion": version}
    tail = {"ManifestVersion": MANIFEST_VERSION}
    entry = {"DisplayName": NAME, "Publisher": PUBLISHER, "DisplayVersion": version}
    url = base_url.rstrip("/")

    def msi_installer(path, scope):
        product = product_code(version, scope)
        return {"Architecture": "x64", "InstallerType": "msi", "Scope": scope, "InstallerUrl": f"{url}/{path.name}",
                "InstallerSha256": sha256(path), "InstallerSwitches": dict(SWITCHES["msi"]), "ProductCode": product,
                "AppsAndFeaturesEntries": [{**entry, "ProductCode": product, "UpgradeCode": UPGRADE_CODES[scope]}]}

    installer = {
        **head, "MinimumOSVersion": MINIMUM_OS_VERSION,
        "InstallModes": ["interactive", "silent", "silentWithProgress"], "UpgradeBehavior": "install",
        "Installers": [
            msi_installer(msi, "user"), msi_installer(machine_msi, "machine"),
            {"Architecture": "x64", "InstallerType": "nullsoft", "Scope": "user", "InstallerUrl": f"{url}/{setup.name}",
             "InstallerSha256": sha256(setup), "InstallerSwitches": SWITCHES["nullsoft"], "ProductCode": NAME,
             "ExpectedReturnCodes": SETUP_EXE_CODES,
             "AppsAndFeaturesEntries": [{**entry, "ProductCode": NAME}]},
        ],
        "ManifestType": "installer", **tail}
    files = {f"{IDENTIFIER}.yaml": {**head, "DefaultLocale": "en-US", "ManifestType": "version", **tail},
             f"{IDENTIFIER}.installer.yaml": installer}
    for locale, text in LOCALES.items():
        notes = RELEASE_NOTES.get(version, {}).get(locale)
        files[f"{IDENTIFIER}.locale.{locale}.yaml"] = {
            **head, "PackageLocale": locale, "Publisher": PUBLISHER, "PackageName": NAME, "License": "MIT",
            "LicenseUrl": LICENSE_URL, **text, **({"ReleaseNotes": notes} if notes else {}),
            "ManifestType": "defaultLocale" if locale == "en-US" else "locale", **tail}
    return files


def write(dist, base_url):
    for name, manifest in manifests(dist, base_url).items():
        text = yaml.safe_dump(manifest, allow_unicode=True, sort_keys=False, width=1000)
        (Path(dist) / name).write_text(text, encoding="utf-8")
        print(Path(dist) / name)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    write(*sys.argv[1:])
