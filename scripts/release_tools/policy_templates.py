"""The release's Group Policy templates, DIST/zelkora-desk-<version>-policy-templates.zip,
with its bill of materials beside it, once they pass the checks the Group Policy editor
would fail them on.

    python3 -m release_tools.policy_templates BUILD DIST
    python3 -m release_tools.policy_templates --check BUILD

The build made the templates (BUILD/policy-templates) and the program's table of values
(BUILD/src/zelkora/policy_values.h) from packaging/policy/policy_values.json, each with
release_tools.policy_definitions; the checks hold the one against the other.

The zip holds PolicyDefinitions/ as administrators copy it into C:\\Windows or into a
domain's central store (the .admx, its .adml in ja-JP/ and en-US/), and LICENSE.txt. Its
entries are in name order with the commit's time, so the same commit gives the same bytes.
"""

import os
import re
import subprocess
import sys
import tempfile
import time
import zipfile
import xml.etree.ElementTree as ElementTree
from pathlib import Path

from . import components, project
from .sbom import write_sbom

ROOT = Path(__file__).resolve().parents[2]
LICENCE = ROOT / "LICENSE"
# Below the build: the templates, and where the program declares the values it reads.
TEMPLATES = Path("policy-templates")
CODE = Path("src") / "zelkora" / "policy_values.h"
TEMPLATE = "zelkora-desk"
LANGUAGES = ("en-US", "ja-JP")
NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"


def read_by_program(header):
    """The key the program reads its policy under, and {value: (element, least, most)} of
    every value it reads, the element being the one that writes it: a policy's own on/off
    value, a decimal or a text."""
    key = re.search(r'POLICY_KEY = "(.*?)";', header).group(1).replace("\\\\", "\\")
    values = {}
    for name, kind, least, most in re.findall(r'"(\w+)", PolicyValueType::(\w+), (\d+), (\d+)\}', header):
        values[name] = {"text": ("text", "", ""), "on_off": ("policy", "", "")}.get(kind, ("decimal", least, most))
    return key, values


def written_by_template(admx):
    """The same of what the .admx's policies write: {(key, value): (element, least, most)}."""
    written = {}
    for policy in admx.iter(NS + "policy"):
        if policy.get("valueName"):
            on_off = [policy.find(f"{NS}{state}/{NS}decimal").get("value")
                      for state in ("enabledValue", "disabledValue")]
            written[policy.get("key"), policy.get("valueName")] = ("policy" if on_off == ["1", "0"] else on_off, "", "")
        for element in policy.iterfind(f"{NS}elements/*"):
            written[element.get("key", policy.get("key")), element.get("valueName")] = (
                element.tag.removeprefix(NS), element.get("minValue", ""), element.get("maxValue", ""))
    return written


def problems(build):
    """What would keep the templates the build made from opening: a file that is not
    well-formed or has another root, a name the .admx uses that an .adml lacks, a
    presentation whose boxes name no element of its policy, a policy named twice; and any
    value the .admx writes otherwise than the program reads it."""
    found = []
    folder, code = Path(build) / TEMPLATES, Path(build) / CODE
    try:
        admx_text = (folder / f"{TEMPLATE}.admx").read_text(encoding="utf-8")
        admx = ElementTree.fromstring(admx_text)
        admls = {lang: ElementTree.parse(folder / lang / f"{TEMPLATE}.adml").getroot() for lang in LANGUAGES}
    except (OSError, ElementTree.ParseError) as error:
        return [str(error)]
    if admx.tag != NS + "policyDefinitions":
        found.append(f"{TEMPLATE}.admx: root {admx.tag}")
    key, values = read_by_program(Path(code).read_text(encoding="utf-8"))
    written = written_by_template(admx)
    read = {(key, name): how for name, how in values.items()}
    found += [f"{TEMPLATE}.admx writes {where}\\{name} as {written.get((where, name))}, the program reads it as "
              f"{read.get((where, name))}" for where, name in sorted(written.keys() | read.keys())
              if written.get((where, name)) != read.get((where, name))]
    policies = list(admx.iter(NS + "policy"))
    names = [p.get("name") for p in policies]
    found += [f"{TEMPLATE}.admx: policy {n} defined twice" for n in set(names) if names.count(n) > 1]
    elements = {p.get("presentation")[len("$(presentation."):-1]: {e.get("id") for e in p.iterfind(f"{NS}elements/*")}
                for p in policies if p.get("presentation")}
    for lang, adml in admls.items():
        if adml.tag != NS + "policyDefinitionResources":
            found.append(f"{lang}: root {adml.tag}")
        strings = {s.get("id") for s in adml.iter(NS + "string")}
        used = set(re.findall(r"\$\(string\.(\w+)\)", admx_text))
        found += [f"{lang}: no string {s}" for s in sorted(used - strings)]
        shown = {p.get("id"): {box.get("refId") for box in p} for p in adml.iter(NS + "presentation")}
        for name, ids in sorted(elements.items()):
            if shown.get(name) != ids:
                found.append(f"{lang}: presentation {name} shows {sorted(shown.get(name) or [])}, not {sorted(ids)}")
    return found


def write_zip(stage, archive, epoch):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip's times start in 1980
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
        for path in sorted(p for p in stage.rglob("*") if p.is_file()):
            entry = zipfile.ZipInfo(path.relative_to(stage).as_posix(), stamp)
            entry.external_attr = 0o644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            out.writestr(entry, path.read_bytes())


def main(build, dist):
    found = problems(build)
    if found:
        sys.exit("\n".join(found))
    # The commit's time, as every other artefact's, also where the caller exported none.
    commit = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"], capture_output=True, text=True)
    os.environ.setdefault("SOURCE_DATE_EPOCH", commit.stdout.strip() or "0")
    version = project.version(build)
    name = f"zelkora-desk-{version}-policy-templates"
    with tempfile.TemporaryDirectory() as work:
        stage = Path(work) / "stage"
        definitions = stage / "PolicyDefinitions"
        for inner in [f"{TEMPLATE}.admx"] + [f"{lang}/{TEMPLATE}.adml" for lang in LANGUAGES]:
            (definitions / inner).parent.mkdir(parents=True, exist_ok=True)
            (definitions / inner).write_bytes((Path(build) / TEMPLATES / inner).read_bytes())
        (stage / "LICENSE.txt").write_bytes(LICENCE.read_bytes())
        files = sorted(p.relative_to(stage).as_posix() for p in stage.rglob("*") if p.is_file())
        components.write(Path(work) / "components.json", [components.ours(version, files=files)])
        write_sbom(f"{name}.zip", stage, Path(work) / "components.json", Path(dist) / f"{name}.spdx.json")
        write_zip(stage, Path(dist) / f"{name}.zip", int(os.environ.get("SOURCE_DATE_EPOCH", "0")))


if __name__ == "__main__":
    if sys.argv[1:2] == ["--check"] and len(sys.argv) == 3:
        sys.exit("\n".join(problems(sys.argv[2])) or None)
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
