"""The Windows Package Manager's manifests of a release, multi-file, schema 1.10.0: the
version, the installer (setup.exe and the MSI, both per user) and the two locales, English
the default, written beside the installers they describe.

    python3 -m release_tools.winget DIST BASE_URL

BASE_URL is where the release's files will be downloaded from: each installer's address
is BASE_URL/<its file name>.
"""

import hashlib
import re
import sys
from pathlib import Path

import yaml

from release_tools.msi_files import UPGRADE_CODE, product_code

MANIFEST_VERSION = "1.10.0"
IDENTIFIER = "orvanel-works.zelkora-desk"
PUBLISHER = "orvanel-works"
NAME = "zelkora-desk"
# What the installers' own exit codes mean (docs/deploying.md); Windows Installer's are
# known to the package manager already.
SETUP_EXE_CODES = [{"InstallerReturnCode": 2, "ReturnResponse": "packageInUseByApplication"}]
SWITCHES = {"wix": {"Silent": "/quiet /norestart", "SilentWithProgress": "/passive /norestart"},
            "nullsoft": {"Silent": "/S", "SilentWithProgress": "/S"}}
LOCALES = {
    "en-US": {"ShortDescription": "A desktop password generator with a Japanese interface",
              "Description": "Makes passwords from the operating system's secure random source: choose the "
                             "length, how many, the kinds of characters and the symbol set; copy them to the "
                             "clipboard. Installs for the current user, without administrator rights.",
              "Tags": ["password", "password-generator", "security"]},
    "ja-JP": {"ShortDescription": "パスワードを作るデスクトップ用のツール",
              "Description": "OS の安全な乱数源からパスワードを作ります。長さ、件数、使う文字の種類、記号セットを"
                             "選び、クリップボードにコピーします。管理者の権限なしで、使う人ごとにインストールします。",
              "Tags": ["パスワード", "パスワード生成", "セキュリティ"]},
}


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest().upper()


def manifests(dist, base_url):
    dist = Path(dist)
    setup = next(dist.glob("*-windows-x86_64-setup.exe"))
    msi = next(dist.glob("*-windows-x86_64.msi"))
    version = re.match(r"zelkora-desk-(.+)-windows-x86_64\.msi$", msi.name).group(1)
    head = {"PackageIdentifier": IDENTIFIER, "PackageVersion": version}
    product = product_code(version)
    tail = {"ManifestVersion": MANIFEST_VERSION}
    entry = {"DisplayName": NAME, "Publisher": PUBLISHER, "DisplayVersion": version}
    url = base_url.rstrip("/")
    installer = {
        **head, "Scope": "user", "InstallModes": ["interactive", "silent", "silentWithProgress"],
        "UpgradeBehavior": "install",
        "Installers": [
            {"Architecture": "x64", "InstallerType": "wix", "InstallerUrl": f"{url}/{msi.name}",
             "InstallerSha256": sha256(msi), "InstallerSwitches": SWITCHES["wix"], "ProductCode": product,
             "AppsAndFeaturesEntries": [{**entry, "ProductCode": product, "UpgradeCode": UPGRADE_CODE}]},
            {"Architecture": "x64", "InstallerType": "nullsoft", "InstallerUrl": f"{url}/{setup.name}",
             "InstallerSha256": sha256(setup), "InstallerSwitches": SWITCHES["nullsoft"], "ProductCode": NAME,
             "ExpectedReturnCodes": SETUP_EXE_CODES,
             "AppsAndFeaturesEntries": [{**entry, "ProductCode": NAME}]},
        ],
        "ManifestType": "installer", **tail}
    files = {f"{IDENTIFIER}.yaml": {**head, "DefaultLocale": "en-US", "ManifestType": "version", **tail},
             f"{IDENTIFIER}.installer.yaml": installer}
    for locale, text in LOCALES.items():
        files[f"{IDENTIFIER}.locale.{locale}.yaml"] = {
            **head, "PackageLocale": locale, "Publisher": PUBLISHER, "PackageName": NAME, "License": "MIT",
            **text, "ManifestType": "defaultLocale" if locale == "en-US" else "locale", **tail}
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
