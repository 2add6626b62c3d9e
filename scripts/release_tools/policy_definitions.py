"""The policy's values, defined once in packaging/policy/policy_values.json, as each of
their readers needs them.

    python3 -m release_tools.policy_definitions header OUT_HEADER
    python3 -m release_tools.policy_definitions templates OUT_FOLDER
    python3 -m release_tools.policy_definitions docs [--check] docs/policy.md

header: the program's enum and table of values (policy_values.h); templates: the Group
Policy templates, OUT_FOLDER/zelkora-desk.admx with its .adml in ja-JP/ and en-US/; docs:
the tables of docs/policy.md between their markers, rewritten, or with --check compared.
The build runs the first two, the tests the third with --check: a range changed in the
definitions changes the code, the templates and the pages together.
"""

import json
import re
import sys
from pathlib import Path
from xml.sax.saxutils import escape, quoteattr

ROOT = Path(__file__).resolve().parents[2]
DEFINITIONS = ROOT / "packaging" / "policy" / "policy_values.json"
LANGUAGES = {"ja": "ja-JP", "en": "en-US"}
XMLNS = ('xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
         'revision="1.0" schemaVersion="1.0" xmlns="http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"')
# How each type is stored and what the docs say it takes.
REGISTRY_TYPE = {"number": "REG_DWORD", "on_off": "REG_DWORD", "text": "REG_SZ"}
RANGE = {"ja": "{least}～{most}", "en": "{least} to {most}"}
REGISTRY_VALUE = {"ja": "レジストリ値: {name}（{type}{how}）", "en": "Registry value: {name} ({type}{how})"}
SEPARATOR = {"ja": "、", "en": ", "}
DOCS_HEAD = {"ja": "| 名前 | 型 | 値 | 効果 |", "en": "| Name | Type | Value | Effect |"}


def load(path=DEFINITIONS):
    definitions = json.loads(Path(path).read_text(encoding="utf-8"))
    for value in definitions["values"]:
        if value["type"] not in REGISTRY_TYPE:
            sys.exit(f"{path}: {value['name']}: no type {value['type']!r}")
        if value["type"] == "on_off":
            value["least"], value["most"] = 0, 1
    return definitions


def filled(text, value):
    return text.replace("{least}", str(value.get("least", ""))).replace("{most}", str(value.get("most", "")))


def header(definitions):
    """The C++ definitions policy.h includes: the place, an enum of the values and their table."""
    snake = {v["name"]: re.sub(r"(?<!^)(?=[A-Z])", "_", v["name"]).lower() for v in definitions["values"]}
    key = definitions["key"].replace("\\", "\\\\")
    rows = "".join(f'    {{PolicyValueId::{snake[v["name"]]}, "{v["name"]}", PolicyValueType::{v["type"]}, '
                   f'{v.get("least", 0)}, {v["most"]}}},\n' for v in definitions["values"])
    return ("// Made by scripts/release_tools/policy_definitions.py from packaging/policy/policy_values.json.\n"
            f'inline constexpr std::string_view POLICY_KEY = "{key}";\n'
            f'inline constexpr std::string_view POLICY_FILE = "{definitions["file"]}";\n'
            "enum class PolicyValueId { " + ", ".join(snake.values()) + " };\n"
            f"inline constexpr std::array<PolicyValueName, {len(snake)}> POLICY_VALUE_NAMES = {{{{\n" + rows + "}};\n")


def admx(definitions):
    name, key = definitions["template"], definitions["key"]
    policies = []
    for value in definitions["values"]:
        n = value["name"]
        common = (f'class="Both" displayName="$(string.{n})" explainText="$(string.{n}_Explain)"')
        if value["type"] == "on_off":
            policies.append(
                f'    <policy name="{n}" {common} key="{key}" valueName="{n}">\n'
                f'      <parentCategory ref="{definitions["category_id"]}" />\n'
                f'      <supportedOn ref="SUPPORTED_{definitions["category_id"]}" />\n'
                "      <enabledValue>\n        <decimal value=\"1\" />\n      </enabledValue>\n"
                "      <disabledValue>\n        <decimal value=\"0\" />\n      </disabledValue>\n    </policy>\n")
            continue
        element = (f'<decimal id="{n}" valueName="{n}" minValue="{value["least"]}" maxValue="{value["most"]}" '
                   'required="true" />' if value["type"] == "number"
                   else f'<text id="{n}" valueName="{n}" maxLength="{value["most"]}" required="true" />')
        policies.append(
            f'    <policy name="{n}" {common} presentation="$(presentation.{n})" key="{key}">\n'
            f'      <parentCategory ref="{definitions["category_id"]}" />\n'
            f'      <supportedOn ref="SUPPORTED_{definitions["category_id"]}" />\n'
            f"      <elements>\n        {element}\n      </elements>\n    </policy>\n")
    return ('<?xml version="1.0" encoding="utf-8"?>\n'
            f"<!-- {name}'s policies for the Group Policy editor and Intune's administrative\n"
            "     templates: each writes the registry value of its name, which the program reads at\n"
            "     start, under HKEY_LOCAL_MACHINE (computer) or HKEY_CURRENT_USER (user). Made by\n"
            "     policy_definitions.py from policy_values.json. -->\n"
            f"<policyDefinitions {XMLNS}>\n"
            f'  <policyNamespaces>\n    <target prefix="{definitions["prefix"]}" '
            f'namespace="{definitions["namespace"]}" />\n  </policyNamespaces>\n'
            '  <resources minRequiredRevision="1.0" />\n'
            f'  <supportedOn>\n    <definitions>\n      <definition name="SUPPORTED_{definitions["category_id"]}" '
            f'displayName="$(string.SUPPORTED_{definitions["category_id"]})" />\n    </definitions>\n  </supportedOn>\n'
            f'  <categories>\n    <category name="{definitions["category_id"]}" '
            f'displayName="$(string.{definitions["category_id"]})" />\n  </categories>\n'
            "  <policies>\n" + "".join(policies) + "  </policies>\n</policyDefinitions>\n")


def adml(definitions, lang):
    strings = [(definitions["category_id"], definitions["category"][lang]),
               ("SUPPORTED_" + definitions["category_id"], definitions["supported"][lang])]
    presentations = []
    for value in definitions["values"]:
        n = value["name"]
        how = SEPARATOR[lang] + value["registry"][lang] if "registry" in value else ""
        paragraphs = [filled(p, value) for p in value["explain"][lang]]
        paragraphs.append(REGISTRY_VALUE[lang].format(name=n, type=REGISTRY_TYPE[value["type"]], how=how))
        strings += [(n, value["title"][lang]), (n + "_Explain", "\n\n".join(paragraphs))]
        shown = value.get("presentation")
        if not shown:
            continue
        if value["type"] == "number":
            presentations.append(f'      <presentation id="{n}">\n        <decimalTextBox refId="{n}" '
                                 f'defaultValue={quoteattr(shown["default"])}>{escape(shown[lang])}'
                                 "</decimalTextBox>\n      </presentation>\n")
        else:
            presentations.append(f'      <presentation id="{n}">\n        <textBox refId="{n}">\n'
                                 f"          <label>{escape(shown[lang])}</label>\n"
                                 f"          <defaultValue>{escape(shown['default'])}</defaultValue>\n"
                                 "        </textBox>\n      </presentation>\n")
    table = "".join(f'      <string id="{i}">{escape(text)}</string>\n' for i, text in strings)
    return ('<?xml version="1.0" encoding="utf-8"?>\n'
            f"<!-- {definitions['template']}: {LANGUAGES[lang]}. Made by policy_definitions.py. -->\n"
            f"<policyDefinitionResources {XMLNS}>\n"
            f"  <displayName>{definitions['template']}</displayName>\n"
            f"  <description>{escape(definitions['description'][lang])}</description>\n"
            "  <resources>\n    <stringTable>\n" + table + "    </stringTable>\n"
            "    <presentationTable>\n" + "".join(presentations) + "    </presentationTable>\n"
            "  </resources>\n</policyDefinitionResources>\n")


def write_templates(definitions, folder):
    folder = Path(folder)
    files = {f"{definitions['template']}.admx": admx(definitions)}
    files.update({f"{full}/{definitions['template']}.adml": adml(definitions, lang)
                  for lang, full in LANGUAGES.items()})
    for inner, text in files.items():
        (folder / inner).parent.mkdir(parents=True, exist_ok=True)
        (folder / inner).write_text(text, encoding="utf-8")


def docs_table(definitions, lang):
    rows = [DOCS_HEAD[lang], "|---|---|---|---|"]
    for value in definitions["values"]:
        allowed = (value["shown"][lang] if value["type"] == "text" else "1 / 0" if value["type"] == "on_off"
                   else filled(RANGE[lang], value))
        rows.append(f"| `{value['name']}` | {REGISTRY_TYPE[value['type']]} | {allowed} | "
                    f"{filled(value['effect'][lang], value)} |")
    return "\n".join(rows)


def docs(definitions, text):
    """The page with each language's table put between its markers."""
    for lang in LANGUAGES:
        begin, end = f"<!-- policy-values:{lang} -->", f"<!-- /policy-values:{lang} -->"
        pattern = re.compile(re.escape(begin) + r"\n.*?" + re.escape(end), re.S)
        if not pattern.search(text):
            sys.exit(f"no {begin} … {end} in the page")
        text = pattern.sub(lambda _: f"{begin}\n{docs_table(definitions, lang)}\n{end}", text)
    return text


def main(args):
    definitions = load()
    if args[:1] == ["header"] and len(args) == 2:
        Path(args[1]).write_text(header(definitions), encoding="utf-8")
    elif args[:1] == ["templates"] and len(args) == 2:
        write_templates(definitions, args[1])
    elif args[:1] == ["docs"] and len(args) in (2, 3):
        page = Path(args[-1])
        made = docs(definitions, page.read_text(encoding="utf-8"))
        if args[1] == "--check":
            if made != page.read_text(encoding="utf-8"):
                sys.exit(f"{page}: the policy tables differ from {DEFINITIONS.name}: run "
                         "python3 -m release_tools.policy_definitions docs ../docs/policy.md from scripts/")
        else:
            page.write_text(made, encoding="utf-8")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
