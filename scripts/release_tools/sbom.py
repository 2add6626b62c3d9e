"""The SPDX 2.3 bill of materials of one release artefact.

Made from components.json (release_tools/components.py) and the folder the artefact
unpacks or installs: every file in it is listed with its checksums, except the document
itself when it lies there. The creation time is SOURCE_DATE_EPOCH (the commit's), so the
same commit gives the same document.
"""

import hashlib
import json
import os
import re
import time
import uuid
from pathlib import Path

from . import components as records
from .debian_records import SNAPSHOT

LINKS = {"static": "STATIC_LINK", "dynamic": "DYNAMIC_LINK"}


def spdx_id(kind, text):
    return f"SPDXRef-{kind}-" + re.sub(r"[^A-Za-z0-9.-]", "-", text)


def digests(path):
    data = path.read_bytes()
    return [{"algorithm": "SHA1", "checksumValue": hashlib.sha1(data).hexdigest()},
            {"algorithm": "SHA256", "checksumValue": hashlib.sha256(data).hexdigest()}]


def all_of(licences):
    unique = list(dict.fromkeys(licences))
    return unique[0] if len(unique) == 1 else " AND ".join(f"({l})" if " " in l else l for l in unique)


def package(component):
    entry = {
        "SPDXID": spdx_id("Package", component.key),
        "name": component.name,
        "versionInfo": component.version,
        "supplier": component.supplier,
        "downloadLocation": component.download,
        "filesAnalyzed": False,
        "licenseConcluded": component.licence,
        "licenseDeclared": component.offered,
        "copyrightText": "\n".join(component.copyright) or "NOASSERTION",
    }
    if component.homepage:
        entry["homepage"] = component.homepage
    if component.sources:
        entry["checksums"] = [{"algorithm": "SHA256", "checksumValue": component.sources[0][1]}]
        entry["sourceInfo"] = "; ".join(f"{name} SHA256 {digest}" for name, digest in component.sources)
    if component.note:
        entry["comment"] = component.note
    if component.download.startswith(SNAPSHOT) and not component.parent:
        # A system library is a binary package of the machine's; what we bundle was built from source.
        arch = "amd64" if component.debian_source else "source"
        entry["externalRefs"] = [{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                                  "referenceLocator": f"pkg:deb/debian/{component.key}@{component.version}"
                                                      f"?arch={arch}"}]
    if component.link == "self":
        entry["primaryPackagePurpose"] = "APPLICATION"
    return entry


def files_and_relationships(stage, out, components):
    ours = components[0]
    owners = {}
    for component in components:
        for file in component.files:
            owners.setdefault(file, []).append(component)
    ours_id = spdx_id("Package", ours.key)
    files = []
    relationships = [{"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                      "relatedSpdxElement": ours_id}]
    # A link (the Debian package's /usr/bin/zelkora-desk) is no file of its own.
    shipped = sorted(p for p in stage.rglob("*") if p.is_file() and not p.is_symlink() and p.resolve() != out.resolve())
    for path in shipped:
        inner = path.relative_to(stage).as_posix()
        holders = owners.get(inner, [ours])
        file_id = spdx_id("File", inner)
        files.append({"SPDXID": file_id, "fileName": "./" + inner, "checksums": digests(path),
                      "licenseConcluded": all_of([c.licence for c in holders]), "copyrightText": "NOASSERTION"})
        relationships.append({"spdxElementId": ours_id, "relationshipType": "CONTAINS",
                              "relatedSpdxElement": file_id})
        relationships += [{"spdxElementId": file_id, "relationshipType": "GENERATED_FROM",
                           "relatedSpdxElement": spdx_id("Package", holder.key)} for holder in holders
                          if holder is not ours]
    # Our programs are what the libraries are linked into.
    executables = [spdx_id("File", p.relative_to(stage).as_posix()) for p in shipped
                   if p.relative_to(stage).as_posix() in ours.files
                   and (p.suffix == ".exe" or (p.suffix == "" and os.access(p, os.X_OK)))]
    for component in components[1:]:
        target = spdx_id("Package", component.key)
        if component.parent:
            relationships.append({"spdxElementId": spdx_id("Package", component.parent),
                                  "relationshipType": "CONTAINS", "relatedSpdxElement": target})
        elif component.link in LINKS:
            into = [spdx_id("File", f) for f in component.linked_into] or executables
            relationships += [{"spdxElementId": exe, "relationshipType": LINKS[component.link],
                               "relatedSpdxElement": target} for exe in into]
        else:  # the installer's own stub
            relationships.append({"spdxElementId": ours_id, "relationshipType": "CONTAINS",
                                  "relatedSpdxElement": target})
    return files, relationships


def write_sbom(name, stage, components_json, out, extra=None):
    stage, out = Path(stage), Path(out)
    components = records.read(components_json) + (records.read(extra) if extra else [])
    files, relationships = files_and_relationships(stage, out, components)
    refs = sorted({ref for c in components for ref in re.findall(r"LicenseRef-[A-Za-z0-9.-]+",
                                                                 c.licence + " " + c.offered)})
    texts = {c.licence: c for c in components}
    extracted = [{"licenseId": ref, "name": ref.removeprefix("LicenseRef-"),
                  "extractedText": licence_text(stage, texts.get(ref))} for ref in refs]

    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    fingerprint = hashlib.sha256("".join(f["checksums"][1]["checksumValue"] for f in files).encode()).hexdigest()
    document = {
        "spdxVersion": "SPDX-2.3",
        "dataLicense": "CC0-1.0",
        "SPDXID": "SPDXRef-DOCUMENT",
        "name": name,
        "documentNamespace": f"https://spdx.org/spdxdocs/{name}-{uuid.uuid5(uuid.NAMESPACE_URL, fingerprint)}",
        "comment": "File names are relative to the zelkora-desk folder that the artefact unpacks or installs.",
        "creationInfo": {"created": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(epoch)),
                         "creators": ["Organization: orvanel-works", "Tool: zelkora-desk scripts/sbom"]},
        "packages": [package(c) for c in components],
        "files": files,
        "relationships": relationships,
    }
    if extracted:
        document["hasExtractedLicensingInfos"] = extracted
    out.write_text(json.dumps(document, indent=1, ensure_ascii=False) + "\n", encoding="utf-8")


def licence_text(stage, component):
    """The text behind a licence SPDX has no identifier for: its file, else what its record says."""
    if component is None:
        return "NOASSERTION"
    for text in component.texts:
        path = stage / "licenses" / text
        if path.is_file():
            return path.read_text(encoding="utf-8")
    return "\n".join([component.note] + component.copyright).strip() or "NOASSERTION"
