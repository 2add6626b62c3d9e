#!/usr/bin/python3
"""The artefacts scripts/release wrote: lawful to hand out, and the same bytes from any folder.

    test_release.py --dist-dir dist --source-dir . [--clone]

--clone builds the same commit again in a fresh clone whose folder name differs in name
and length, and requires every artefact to come out byte for byte the same.
"""

import argparse
import calendar
import functools
import hashlib
import json
import os
import re
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile
from pathlib import Path

import jsonschema
import pefile
import yaml
from debian.deb822 import Deb822
from license_expression import get_spdx_licensing

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "release_tools"))

from artefacts import TOP, in_windows_build_system, the_one  # noqa: E402
import hardening  # noqa: E402
import verify  # noqa: E402

ARGS = None
SUPPORTED_OS = ["8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "35138b9a-5d96-4fbd-8e2d-a2440225f93a"]


def artefact(pattern):
    return the_one(ARGS.dist_dir, pattern, pattern)


def contents(path):
    """{name inside the zelkora-desk folder: bytes} of an archive."""
    if path.suffix == ".zip":
        with zipfile.ZipFile(path) as archive:
            return {n.removeprefix(TOP + "/"): archive.read(n) for n in archive.namelist() if not n.endswith("/")}
    with tarfile.open(path) as archive:
        return {m.name.removeprefix(TOP + "/"): archive.extractfile(m).read() for m in archive if m.isfile()}


# What a release knowingly ships without a protection, and why.
KNOWN_GAPS = {
    # NSIS's stub, as Debian builds it, has no relocations: Windows loads the installer and
    # the uninstaller it writes at their fixed base. Nor has it a canary; no code of ours runs in it.
    ("setup.exe", "ASLR"), ("setup.exe", "stack protector"),
    ("uninstall.exe", "ASLR"), ("uninstall.exe", "stack protector"),
    # The compiler's run-time DLLs as Debian's mingw-w64 packages build them.
    ("libstdc++-6.dll", "stack protector"), ("libgcc_s_seh-1.dll", "stack protector"),
    ("libwinpthread-1.dll", "stack protector"),
    # Our objects carry the CET marking (-fcf-protection), yet Debian's glibc start files
    # (Scrt1.o, crti.o, crtn.o) do not, so the linker leaves it off the Linux programs, as
    # off Debian's own (dpkg, bash and apt on Debian 13 alike).
    ("zelkora-desk", "control-flow protection"), ("zelkora-cli", "control-flow protection"),
}


@functools.cache
def runtime_dll(name):
    """The bytes of the compiler's own DLL of that name, or b"" when it has none."""
    return in_windows_build_system(
        "sh", "-c", 'dll=$(x86_64-w64-mingw32-g++-posix -print-file-name="$0") && [ -f "$dll" ] && cat "$dll"', name,
        capture_output=True).stdout


def deps_prefix():
    return subprocess.run([str(Path(ARGS.source_dir) / "scripts/windows/deps")], capture_output=True, text=True,
                          check=True).stdout.strip()


def cache_key():
    return re.fullmatch(r".*/mingw-([0-9a-f]{16})", deps_prefix()).group(1)


def record():
    return Deb822(artefact("*.buildinfo").read_text(encoding="utf-8"))


def commit_time():
    return int(re.search(r'SOURCE_DATE_EPOCH="(\d+)"', record()["Environment"]).group(1))


def pinned_epochs():
    """The commit's time and each Windows library source's date: the only times allowed."""
    sources = record()["Windows-Library-Sources"]
    return {commit_time()} | {int(line.split()[2]) for line in sources.splitlines() if line}


def pe_stamps(data):
    """Every time stamp a PE file carries: header, export, debug and resource directories."""
    pe = pefile.PE(data=data)
    stamps = [("header", pe.FILE_HEADER.TimeDateStamp)]
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        stamps.append(("export", pe.DIRECTORY_ENTRY_EXPORT.struct.TimeDateStamp))
    stamps += [("debug", entry.struct.TimeDateStamp) for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])]
    pending = [getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)]
    while pending:
        directory = pending.pop()
        if directory is not None:
            stamps.append(("resource", directory.struct.TimeDateStamp))
            pending += [getattr(entry, "directory", None) for entry in directory.entries]
    return stamps


def builder_paths():
    cache = Path(os.environ.get("XDG_CACHE_HOME", Path.home() / ".cache")) / "zelkora-desk"
    paths = {str(Path(ARGS.source_dir).resolve()), str(cache), str(Path.home()) + "/", cache_key()}
    return [p.encode(encoding) for p in paths for encoding in ("utf-8", "utf-16-le")]


class BillOfMaterials(unittest.TestCase):
    def test_each_artefact_lists_every_file_it_ships_under_valid_licences_and_its_version(self):
        schema = json.loads((Path(ARGS.source_dir) / "../shared/third_party/spdx-schema-2.3.json").read_text())
        cmakelists = (Path(ARGS.source_dir) / "CMakeLists.txt").read_text(encoding="utf-8")
        version = re.search(r"project\(zelkora-desk VERSION ([\w.]+)", cmakelists).group(1)
        licensing = get_spdx_licensing()
        qt_reuse_texts = {p.stem for p in (Path(deps_prefix()) / "share/zelkora-desk/legal/qt6-base/LICENSES").glob("*.txt")}
        zip_files = contents(artefact("*-windows-x86_64.zip"))
        for archive, files, notice in ((artefact("*.tar.gz"), None, "notices"),
                                       (artefact("*-windows-x86_64.zip"), zip_files, "third-party notices"),
                                       (artefact("*-setup.exe"), zip_files, None), (artefact("*-x86_64.msi"), zip_files, None),
                                       (artefact("*-machine.msi"), zip_files, None),
                                       (artefact("*-policy-templates.zip"), None, None)):
            with self.subTest(archive.name):
                self.assertTrue(archive.name.startswith(f"zelkora-desk-{version}-"))
                sbom_path = archive.with_name(re.sub(r"\.(tar\.gz|zip|exe)$|(?<=\.msi)$", ".spdx.json", archive.name))
                sbom = json.loads(sbom_path.read_text(encoding="utf-8"))
                jsonschema.validate(sbom, schema)
                self.assertEqual(sbom["packages"][0]["versionInfo"], version)
                # A Debian package's copyright file names its licence, so ours must name one too.
                expressions = [(p[k], p["supplier"] == "Organization: Debian") for p in sbom["packages"]
                               for k in ("licenseConcluded", "licenseDeclared")]
                for expression, debian in expressions + [(f["licenseConcluded"], False) for f in sbom["files"]]:
                    if debian or expression not in ("NOASSERTION", "NONE"):
                        unknown = licensing.unknown_license_keys(licensing.parse(expression))
                        # Identifiers newer than this machine's list (Unicode-3.0 on Debian 12)
                        # count when Qt's REUSE folder carries their text.
                        self.assertEqual([k for k in unknown if not k.startswith("LicenseRef-")
                                          and k not in qt_reuse_texts], [], expression)
                shipped = files if files is not None else contents(archive)
                listed = {f["fileName"].removeprefix("./"): f["checksums"][1]["checksumValue"] for f in sbom["files"]}
                if archive.suffix == ".exe":
                    # Beside the zip's files it installs the notice of its own NSIS code.
                    self.assertIn("NSIS", listed.pop("licenses/NSIS.txt") and sbom_path.read_text())
                if archive.name.endswith("-machine.msi"):  # and the mark of an install for all users
                    self.assertTrue(listed.pop("app/zelkora/all-users"))
                own = sbom_path.name  # the zip holds its own, which cannot list itself
                self.assertEqual(listed, {name: hashlib.sha256(data).hexdigest()
                                          for name, data in shipped.items() if name != own})
                if notice:
                    text = shipped["THIRD-PARTY-NOTICES.txt"].decode("utf-8")
                    self.assertEqual(text.splitlines()[0], f"zelkora-desk {version}: {notice}")

    def test_the_windows_qt_is_of_one_minor_version_with_the_projects_patches_named(self):
        sbom = json.loads(artefact("*-windows-x86_64.spdx.json").read_text(encoding="utf-8"))
        packages = {p["name"]: p for p in sbom["packages"]}
        qtbase = next(p for name, p in packages.items() if name.startswith("Qt Base"))
        minor = re.match(r"\d+\.\d+\.", qtbase["versionInfo"]).group(0)
        # UiTools comes from another source than Qt base, and must not fall behind it.
        uitools = packages["Qt UiTools (from Qt Tools)"]["versionInfo"]
        self.assertTrue(uitools.startswith(minor), f"UiTools {uitools} beside Qt base {qtbase['versionInfo']}")
        patches = Path(ARGS.source_dir) / "scripts/windows/patches/qtbase"
        for name in (patches / "series").read_text(encoding="utf-8").split("\n"):
            if name and not name.startswith("#"):
                digest = hashlib.sha256((patches / name).read_bytes()).hexdigest()
                self.assertIn(f"{name} SHA256 {digest}", qtbase["sourceInfo"])
                self.assertIn(name, qtbase["comment"])

    def test_the_zip_names_a_component_and_licence_text_for_every_program_file(self):
        files = contents(artefact("*-windows-x86_64.zip"))
        notices = files["THIRD-PARTY-NOTICES.txt"].decode("utf-8")
        for name in files:
            if name.endswith((".dll", ".exe")):
                self.assertIn(name.replace("/", "\\"), notices)
        for text in re.findall(r"licenses\\(\S+?\.txt)", notices):
            self.assertTrue(f"licenses/{text}" in files, text)
        sources = files["SOURCES.txt"].decode("utf-8")
        self.assertRegex(sources, r"qt6-base_\S+\.dsc  SHA-256 [0-9a-f]{64}")
        self.assertIn("MIT License", files["LICENSE.txt"].decode("utf-8"))
        self.assertEqual(files[artefact("*-windows-x86_64.spdx.json").name],
                         artefact("*-windows-x86_64.spdx.json").read_bytes())

    def test_the_executable_carries_its_manifest(self):
        exe = pefile.PE(data=contents(artefact("*-windows-x86_64.zip"))["app/zelkora-desk.exe"])
        manifests = [entry for kind in exe.DIRECTORY_ENTRY_RESOURCE.entries
                     if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"] for entry in kind.directory.entries]
        self.assertEqual([entry.id for entry in manifests], [1])
        data = manifests[0].directory.entries[0].data.struct
        text = exe.get_data(data.OffsetToData, data.Size).decode("utf-8")
        self.assertIn('level="asInvoker"', text)
        self.assertRegex(text, r"<longPathAware[^>]*>true</longPathAware>")
        self.assertEqual(re.findall(r'supportedOS Id="\{([^}]+)\}"', text), SUPPORTED_OS)
        self.assertNotIn("dpiAware", text)

    def test_nothing_shipped_holds_a_path_of_the_build_machine(self):
        paths = builder_paths()
        for archive in (artefact("*.tar.gz"), artefact("*-windows-x86_64.zip")):
            for name, data in contents(archive).items():
                for path in paths:
                    self.assertFalse(path in data, f"{archive.name}: {name} holds {path}")
        setup = b"".join(p.read_bytes() for p in Path(ARGS.dist_dir).glob("*.msi")) + artefact("*-setup.exe").read_bytes()
        for path in paths:
            self.assertFalse(path in setup, f"setup.exe or the MSI holds {path}")

    def test_sha256sums_and_the_build_record_give_every_artefact_its_checksum(self):
        made = {p.name: hashlib.sha256(p.read_bytes()).hexdigest() for p in Path(ARGS.dist_dir).iterdir()
                if p.name != "SHA256SUMS"}
        sums = (Path(ARGS.dist_dir) / "SHA256SUMS").read_text().splitlines()
        self.assertEqual(dict(reversed(line.split("  ", 1)) for line in sums), made)
        recorded = {line.split()[2]: line.split()[0] for line in record()["Checksums-Sha256"].splitlines() if line}
        self.assertEqual(recorded, {name: digest for name, digest in made.items() if not name.endswith(".buildinfo")})


class DebianPackages(unittest.TestCase):
    def test_each_package_is_lintian_clean_with_valid_desktop_files_and_every_file_listed(self):
        schema = json.loads((Path(ARGS.source_dir) / "../shared/third_party/spdx-schema-2.3.json").read_text())
        here = lambda *command, **options: subprocess.run(command, **options)  # noqa: E731
        # Each checked with its own release's tools: this machine's, the Debian 13 root's.
        for release, run in (("12", here), ("13", in_windows_build_system)):
            deb = artefact(f"zelkora-desk_*~deb{release}+1_amd64.deb")
            with self.subTest(deb.name), tempfile.TemporaryDirectory(dir="/tmp") as tree:
                sbom = json.loads(deb.with_suffix(".spdx.json").read_text(encoding="utf-8"))
                jsonschema.validate(sbom, schema)
                listed = {f["fileName"]: f["checksums"][1]["checksumValue"] for f in sbom["files"]}
                self.assertEqual(listed, {name: hashlib.sha256(data).hexdigest() for name, data
                                          in verify.contents(deb).items() if not name.startswith("DEBIAN/")})
                subprocess.run(["dpkg-deb", "-x", str(deb), tree], check=True)
                data = f"{tree}/usr/share/%s/works.orvanel.ZelkoraDesk.%s"
                for command in (["lintian", "--fail-on", "error,warning", str(deb)],
                                ["desktop-file-validate", data % ("applications", "desktop")],
                                ["appstreamcli", "validate", "--no-net", data % ("metainfo", "metainfo.xml")]):
                    result = run(*command, capture_output=True, text=True)
                    problems = [line for line in result.stdout.splitlines()
                                if re.match(r"[EW]: |.*(error|warning):", line)]
                    # AppStream 1.0 warns the project names no home page, exiting 3 (test_install_user.py).
                    expected = [line for line in problems if line.endswith(":~: url-homepage-missing")]
                    self.assertEqual((problems, result.returncode), (expected, 3 if expected else 0), result.stdout)


class Deployment(unittest.TestCase):
    def test_each_msi_has_its_scope_and_the_manifests_describe_every_installer(self):
        msis = {"user": artefact("*-x86_64.msi"), "machine": artefact("*-machine.msi")}
        # Word count 10: compressed, no elevation (per user); 2: compressed, elevated.
        codes = {}
        for scope, words, all_users in (("user", 10, None), ("machine", 2, "1")):
            info = [in_windows_build_system("msiinfo", *command, capture_output=True, text=True, check=True).stdout
                    for command in (("suminfo", str(msis[scope])), ("export", str(msis[scope]), "Property"))]
            self.assertRegex(info[0], rf"(?m)^Template: x64;1041$\n(.*\n)*^Source: {words} ")
            self.assertTrue(info[0].isascii(), info[0])
            properties = dict(re.findall(r"^(\w+)\t(.*?)\r?$", info[1], re.M))
            self.assertEqual(properties.get("ALLUSERS"), all_users)
            codes[scope] = (properties["ProductCode"], properties["UpgradeCode"])
        self.assertEqual(len(set(codes["user"] + codes["machine"])), 4)
        schemas = Path(ARGS.source_dir) / "../shared/third_party/winget-manifest-schemas-1.10.0"
        manifests = {m["ManifestType"]: m for m in (yaml.safe_load(p.read_text(encoding="utf-8"))
                                                   for p in Path(ARGS.dist_dir).glob("*.yaml"))}
        for kind in ("version", "installer", "defaultLocale", "locale"):
            jsonschema.validate(manifests[kind], json.loads((schemas / f"manifest.{kind}.1.10.0.json").read_text()))
            self.assertNotIn("Scope", manifests[kind])
        url = re.search(r'ZELKORA_RELEASE_URL="(.*?)/*"', record()["Environment"]).group(1)
        setup = artefact("*-setup.exe")
        self.assertEqual({(i["InstallerType"], i["Scope"]): (i["InstallerUrl"], i["InstallerSha256"], i["ProductCode"],
                                                             i["AppsAndFeaturesEntries"][0].get("UpgradeCode"),
                                                             i["InstallerSwitches"]["InstallLocation"])
                          for i in manifests["installer"]["Installers"]},
                         {(kind, scope): (f"{url}/{path.name}", hashlib.sha256(path.read_bytes()).hexdigest().upper(),
                                          *ids, location)
                          for kind, scope, path, ids, location in (
                              ("msi", "user", msis["user"], codes["user"], 'INSTALLDIR="<INSTALLPATH>"'),
                              ("msi", "machine", msis["machine"], codes["machine"], 'INSTALLDIR="<INSTALLPATH>"'),
                              ("nullsoft", "user", setup, ("zelkora-desk", None), "/D=<INSTALLPATH>"))})


class TrustedBytes(unittest.TestCase):
    def test_every_program_file_has_its_protections(self):
        gaps, read = set(), set()
        for archive in (artefact("*.tar.gz"), artefact("*-windows-x86_64.zip"), artefact("*-setup.exe")):
            for name, found in hardening.binaries(archive).items():
                short = re.sub(r".*[/:]|^.*-(?=setup\.exe$)", "", name)
                read.add(short)
                gaps |= {(short, key) for key, ok in found.items() if not ok}
        self.assertLessEqual({"zelkora-desk", "zelkora-desk.exe", "Qt6Core.dll", "qwindows.dll", "setup.exe",
                              "uninstall.exe"}, read)
        # Both ways: a gap that has closed is a table to bring up to date.
        self.assertEqual(gaps, KNOWN_GAPS)

    def test_our_own_objects_carry_the_control_flow_marking_the_linker_drops(self):
        objects = list((Path(ARGS.source_dir) / "build/src").rglob("*.o"))
        self.assertGreater(len(objects), 10)
        for path in objects:
            self.assertTrue(hardening.elf_properties(path.read_bytes())["control-flow protection"], path)

    def test_every_time_stamp_in_the_windows_files_is_a_pinned_one(self):
        allowed = pinned_epochs() | {0}
        files = contents(artefact("*-windows-x86_64.zip"))
        for name, data in files.items():
            if data.startswith(b"MZ"):
                # The compiler's run-time DLLs ship as Debian's package holds them.
                debian = runtime_dll(Path(name).name)
                own = {s for _, s in pe_stamps(debian)} if debian else set()
                for where, stamp in pe_stamps(data):
                    self.assertIn(stamp, allowed | own, f"{name}: {where} {stamp}")
        # QtCore's MIME database, gzip-packed at Qt's configure time.
        headers = re.findall(rb"\x1f\x8b\x08\x00(....)\x02", files["app/Qt6Core.dll"], re.S)
        self.assertNotEqual(headers, [])
        for mtime in headers:
            self.assertIn(int.from_bytes(mtime, "little"), allowed)
        # The zip's entries: the commit's time (UTC, in a zip's two-second steps), wherever it was built.
        with zipfile.ZipFile(artefact("*-windows-x86_64.zip")) as archive:
            times = {calendar.timegm((*entry.date_time, 0, 0, 0)) // 2 for entry in archive.infolist()}
        self.assertEqual(times, {commit_time() // 2})

    def test_the_windows_build_links_the_toolchain_libraries_from_the_cache(self):
        # ld orders an import table by each import library's path: one from /usr beside Qt's from the
        # cache gives another order, and other bytes, when the cache lies after /usr (/work, /var).
        prefix = deps_prefix()
        ninja = (Path(ARGS.source_dir) / "build-windows/build.ninja").read_text()
        archives = set(re.findall(r"(?<= )/\S+\.a\b", ninja))
        self.assertIn(f"{prefix}/lib/libQt6Core.a", archives)
        self.assertEqual({a for a in archives if not a.startswith(prefix + "/")}, set())
        for flags in re.findall(r"^  LINK_FLAGS = (.*)$", ninja, re.M):
            self.assertIn(f"-L{prefix}/toolchain-lib", flags)

    def test_the_build_record_names_the_compilers_binutils_qt_and_nsis_as_installed(self):
        # Asked of dpkg itself, here and in the Debian 13 root, not of the code that wrote the record.
        query = ("dpkg-query", "-W", "-f=${Package}\t${Version}\n")
        for field, packages, run in (
                ("Installed-Build-Depends", ("g++", "binutils", "qt6-base-dev"),
                 lambda *command, **options: subprocess.run(command, **options)),
                ("Windows-Build-Environment", ("g++-mingw-w64-x86-64-posix", "binutils-mingw-w64-x86-64",
                                               "qt6-base-dev-tools", "nsis", "wine64"), in_windows_build_system)):
            here = dict(line.split("\t") for line in run(
                *query, *packages, capture_output=True, text=True, check=True).stdout.splitlines())
            listed = verify.recorded_packages(record(), field)
            for package in packages:
                self.assertIn(package, listed, field)
                self.assertEqual(listed[package], here[package], package)


@unittest.skipUnless(__name__ == "__main__" and "--clone" in sys.argv, "only with --clone")
class Reproducible(unittest.TestCase):
    def test_a_clone_in_another_folder_builds_the_same_bytes(self):
        source = Path(ARGS.source_dir).resolve()
        head = subprocess.run(["git", "-C", str(source), "rev-parse", "HEAD"], capture_output=True, text=True,
                              check=True).stdout.strip()
        with tempfile.TemporaryDirectory(prefix="zelkora-") as scratch:
            # Another name of another length, at another depth.
            clone = Path(scratch) / "a-checkout-in-another-folder"
            subprocess.run(["git", "clone", "--quiet", "--no-hardlinks", str(source), str(clone)], check=True)
            subprocess.run(["git", "-C", str(clone), "checkout", "--quiet", head], check=True)
            subprocess.run([str(clone / "scripts" / "release")], check=True, stdout=subprocess.DEVNULL)
            self.assertEqual((clone / "dist" / "SHA256SUMS").read_text(),
                             (Path(ARGS.dist_dir) / "SHA256SUMS").read_text())


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist-dir", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--clone", action="store_true")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
