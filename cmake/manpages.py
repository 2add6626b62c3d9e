"""The manual pages and zelkora-cli's bash completion, from --help and one source file.

    python3 cmake/manpages.py ZELKORA_CLI SOURCE_TOML VERSION DATE OUT_DIR

ZELKORA_CLI is the program just built, whose --help this reads; SOURCE_TOML packaging/linux/manpages.toml
(which says how the two fit). Writes OUT_DIR/man1/*.1 (English), OUT_DIR/ja/man1/*.1
(Japanese, UTF-8) and OUT_DIR/completions/zelkora-cli. Fails, naming the entry, when the
English page no longer says what --help says: so neither the pages nor the completion can
drift from the program.
"""

import re
import subprocess
import sys
import tomllib
from pathlib import Path

OPTION = re.compile(r"^  (?:(-\w), )?\s*(--[\w-]+)(?: (\S+))?\s{2,}(.*)$")
CONTINUED = re.compile(r"^ {20,}(\S.*)$")
EXIT = re.compile(r"^  (\d+)  (.*)$")


def fail(message):
    sys.exit(f"manpages: {message}")


def parse_help(text):
    """--help's parts: the synopsis, the description, the options (signature: short, long,
    argument, text), the notes, the exit statuses and the examples, in its order."""
    paragraphs = [p.split("\n") for p in text.strip("\n").split("\n\n")]
    first = paragraphs.pop(0)
    usage, _, synopsis = first[0].partition(" ")
    parsed = {"usage": usage, "synopsis": synopsis, "description": "\n".join(first[1:]), "options": {},
              "notes": [], "exit": {}, "exit_title": None, "examples": [], "examples_title": None}
    for lines in paragraphs:
        if OPTION.match(lines[0]):
            for line in lines:
                if found := OPTION.match(line):
                    short, long, argument, words = found.groups()
                    signature = ", ".join(filter(None, (short, long))) + (f" {argument}" if argument else "")
                    parsed["options"][signature] = (short, long, argument, words)
                elif (more := CONTINUED.match(line)) and parsed["options"]:
                    short, long, argument, words = parsed["options"][signature]
                    parsed["options"][signature] = (short, long, argument, words + more.group(1))
                else:
                    fail(f"cannot read this line of the options in --help: {line!r}")
        elif all(EXIT.match(line) for line in lines[1:]) and lines[0].endswith(":") and len(lines) > 1:
            parsed["exit_title"] = lines[0][:-1]
            parsed["exit"] = {int(code): words for code, words in (EXIT.match(l).groups() for l in lines[1:])}
        elif lines[0].endswith(":") and all(line.startswith("  zelkora-cli") for line in lines[1:]):
            parsed["examples_title"] = lines[0][:-1]
            parsed["examples"] = [line.strip() for line in lines[1:]]
        else:
            parsed["notes"].append("\n".join(lines))
    return parsed


def ascii_words(text):
    """What a translation must carry over as it is: numbers, options, names and symbol
    runs, everything ASCII but lone punctuation."""
    return [w for w in re.findall(r"[!-~]+", text) if len(w) > 1 or w.isalnum()]


# A lone digit may be spelt out in English ("1 行で": "in one line", "2 度": "twice").
SPELT = {str(n): words.split("/") for n, words in
         enumerate("zero one/once two/twice three four five six seven eight nine".split())}


def check_translation(what, japanese, english):
    missing = [w for w in ascii_words(japanese)
               if w not in english and not any(word in english.lower().split() for word in SPELT.get(w, ()))]
    if missing:
        fail(f"the English {what} lacks {' '.join(missing)} of --help's: {japanese!r}")


def check_english(help_, en):
    if list(en["options"]) != list(help_["options"]):
        fail(f"the English options {list(en['options'])} are not --help's {list(help_['options'])}")
    for signature, (_, _, _, words) in help_["options"].items():
        check_translation(signature, words, en["options"][signature])
    if len(en["notes"]) != len(help_["notes"]):
        fail(f"--help has {len(help_['notes'])} paragraphs after the options, the English page {len(en['notes'])}")
    for number, (japanese, english) in enumerate(zip(help_["notes"], en["notes"]), 1):
        check_translation(f"paragraph {number}", japanese, english)
    check_translation("description", help_["description"], en["description"])
    if sorted(int(code) for code in en["exit"]) != sorted(help_["exit"]):
        fail(f"the English exit statuses {sorted(en['exit'])} are not --help's {sorted(help_['exit'])}")


def roff_text(text):
    """Text as roff reads it: its own escapes, minus signs, B<> and I<>, and a break
    allowed after every wide character (groff breaks lines at blanks only)."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    text = re.sub(r"B<([^>]*)>", r"\\fB\1\\fR", text)
    text = re.sub(r"I<([^>]*)>", r"\\fI\1\\fR", text)
    text = re.sub(r"([^\x00-\x7f])(?=.)", r"\1\\:", text)
    return "\n".join(("\\&" + line) if line.startswith((".", "'")) else line for line in text.split("\n"))


def roff_paragraphs(text):
    """Paragraphs filled; a line indented by two spaces shown as typed."""
    out = []
    for paragraph in text.strip("\n").split("\n\n"):
        out.append(".PP")
        filled = ""
        for line in paragraph.split("\n") + ["  "]:
            if line.startswith("  "):
                out += [roff_text(filled)] if filled else []
                out += [".RS", ".nf", roff_text(line.strip()), ".fi", ".RE"] if line.strip() else []
                filled = ""
            else:
                # Japanese runs on from one line to the next without a blank between.
                wide = filled[-1:] > "\x7f" and line[:1] > "\x7f"
                filled = filled + ("" if wide or not filled else " ") + line
    return out


def option_heading(short, long, argument):
    names = ", ".join(f"\\fB{roff_text(n)}\\fR" for n in (short, long) if n)
    return names + (f" \\fI{argument}\\fR" if argument else "")


TITLES = {"en": ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS"), "ja": ("名前", "書式", "説明", "オプション")}


def page(name, language, version, date, synopsis, description, options=(), notes=(), exit_title=None,
         exits=(), examples_title=None, examples=(), summary="", sections=None):
    titles = TITLES[language]
    out = [f'.TH {name.upper()} 1 "{date}" "zelkora-desk {version}" "zelkora-desk"', ".nh", ".ad l",
           f".SH {titles[0]}", f"{roff_text(name)} \\- {roff_text(summary)}",
           f".SH {titles[1]}", roff_text(synopsis), f".SH {titles[2]}", *roff_paragraphs(description)]
    if options:
        out.append(f".SH {titles[3]}")
        for (short, long, argument), words in options:
            out += [".TP", option_heading(short, long, argument), roff_text(words)]
    for note in notes:
        out += roff_paragraphs(note)
    if exits:
        out.append(f".SH {roff_text(exit_title)}")
        for code, words in exits:
            out += [".TP", f"\\fB{code}\\fR", roff_text(words)]
    if examples:
        out += [f".SH {roff_text(examples_title)}", ".nf", *(roff_text(e) for e in examples), ".fi"]
    for title, text in (sections or {}).items():
        out += [f".SH {roff_text(title)}", *roff_paragraphs(text)]
    return "\n".join(out) + "\n"


def completion(options):
    """zelkora-cli's bash completion: every option, file names after the one taking a FILE,
    nothing after the others taking a value."""
    words = " ".join(n for short, long, _, _ in options.values() for n in (short, long) if n)
    files = "|".join(n for short, long, arg, _ in options.values() if arg == "FILE" for n in (short, long) if n)
    values = "|".join(n for short, long, arg, _ in options.values() if arg and arg != "FILE" for n in (short, long) if n)
    return f"""# bash completion for zelkora-cli, made from its --help at build time   -*- shell-script -*-
_zelkora_cli() {{
    local cur=${{COMP_WORDS[COMP_CWORD]}} prev=${{COMP_WORDS[COMP_CWORD - 1]}}
    case $prev in
        {files}) compopt -o filenames; mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return ;;
        {values}) return ;;
    esac
    [[ $cur == -* ]] && mapfile -t COMPREPLY < <(compgen -W '{words}' -- "$cur")
}}
complete -F _zelkora_cli zelkora-cli
"""


def main(program, source_file, version, date, out_dir):
    help_ = parse_help(subprocess.run([program, "--help"], capture_output=True, check=True).stdout.decode("utf-8"))
    source = tomllib.loads(Path(source_file).read_text(encoding="utf-8"))
    en, ja = source["zelkora-cli"]["en"], source["zelkora-cli"]["ja"]
    check_english(help_, en)
    out = Path(out_dir)
    signatures = [(short, long, argument) for short, long, argument, _ in help_["options"].values()]
    pages = {
        ("en", "zelkora-cli"): page(
            "zelkora-cli", "en", version, date, en["synopsis"], en["description"],
            zip(signatures, en["options"].values()), en["notes"], en["exit_title"],
            [(code, en["exit"][str(code)]) for code in help_["exit"]], en["examples_title"], help_["examples"],
            en["summary"], en["sections"]),
        ("ja", "zelkora-cli"): page(
            "zelkora-cli", "ja", version, date, f"B<{help_['synopsis'].split()[0]}> "
            + " ".join(help_["synopsis"].split()[1:]), help_["description"],
            zip(signatures, (words for *_, words in help_["options"].values())), help_["notes"],
            help_["exit_title"], help_["exit"].items(), help_["examples_title"], help_["examples"],
            ja["summary"], ja["sections"]),
    }
    for language in ("en", "ja"):
        desk = source["zelkora-desk"][language]
        pages[language, "zelkora-desk"] = page("zelkora-desk", language, version, date, desk["synopsis"],
                                               desk["description"], summary=desk["summary"],
                                               sections=desk["sections"])
    for (language, name), text in pages.items():
        folder = out / ("man1" if language == "en" else f"{language}/man1")
        folder.mkdir(parents=True, exist_ok=True)
        (folder / f"{name}.1").write_text(text, encoding="utf-8")
    (out / "completions").mkdir(parents=True, exist_ok=True)
    (out / "completions" / "zelkora-cli").write_text(completion(help_["options"]), encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    main(*sys.argv[1:])
