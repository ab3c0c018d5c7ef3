#!/usr/bin/env python3
"""Writes or checks the translator's template src/lang/DB_ML.template.ini.

    scripts/lang-template.py LANGKEYS DATABASE [--write | --check] [--translation FILE ...]

The keys come from two places:
  - the windows: LANGKEYS (the tessor_langkeys tool built beside the program) starts the
    program offscreen on DATABASE, opens every window and lists each lookup it makes;
  - the messages: the English texts handed to a lookup in src/ (GetText, and the helpers that
    pass their text on to it), each in the section its code selects.
--write replaces the template; --check (the default) fails, naming them, when a key that the
code uses is missing from the template, and when a translation given with --translation lacks
a key of the template or has one the template does not know.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEMPLATE = os.path.join(ROOT, "src", "lang", "DB_ML.template.ini")

# Calls whose text argument is a lookup key: the lookup itself, and the helpers that look
# their argument up (a wizard page's message, the Field Edit dialog's message, the field name
# dialog's refusal, the record view's question and the field commands' message text).
KEY_CALL = re.compile(
    r'\b(?:GetText|ShowMessage|AskYesNo|Message|refuse|ViewText)\(\s*'
    r'(?:QStringLiteral\(|QString::fromLatin1\()?\s*"((?:[^"\\]|\\.)*)"')
# Menu items of the grid's context menu: {"Text", res::ID_...}.
MENU_ITEM = re.compile(r'\{\s*"((?:[^"\\]|\\.)+)",\s*res::ID_')
SECTION_CALL = re.compile(r'SetSection\(\s*(?:QStringLiteral\(\s*"([^"]+)"\s*\)|(\w+))\s*\)')
SECTION_CONST = re.compile(r'\b(\w+)\s*=\s*QStringLiteral\(\s*"([^"]+)"\s*\)')
PAGE_SECTION = re.compile(r'\bC(\w+)::C\1\([^)]*\)\s*:\s*CWizardPage\(\s*QStringLiteral\(\s*"([^"]+)"')
# A member function's definition: a line starting at its first column with "...Cxxx::name(".
DEFINITION = re.compile(r'^(?=\w)[\w:<>&*, ]*?\b(C\w+)::~?\w+\(', re.M)


def unescape(text):
    return bytes(text, "utf-8").decode("unicode_escape").encode("latin-1").decode("utf-8")


def sources():
    for folder, _, files in os.walk(os.path.join(ROOT, "src")):
        for name in sorted(files):
            if name.endswith(".cpp"):
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8") as f:
                    yield os.path.relpath(path, ROOT), f.read()


def message_keys():
    """(section, key) of every literal key handed to a lookup in src/."""
    files = list(sources())
    # The section each class selects first, and the section of each wizard page.
    class_section = {}
    for _, text in files:
        consts = dict(SECTION_CONST.findall(text))
        for m in SECTION_CALL.finditer(text):
            section = m.group(1) or consts.get(m.group(2))
            owner = [d.group(1) for d in DEFINITION.finditer(text, 0, m.start())]
            if section and owner:
                class_section.setdefault(owner[-1], section)
        for name, section in PAGE_SECTION.findall(text):
            class_section["C" + name] = section
    keys, problems = [], []
    for path, text in files:
        consts = dict(SECTION_CONST.findall(text))
        calls = [(m.start(), m.group(1) or consts.get(m.group(2)))
                 for m in SECTION_CALL.finditer(text)]
        for pattern in (KEY_CALL, MENU_ITEM):
            for m in pattern.finditer(text):
                owner = [d.group(1) for d in DEFINITION.finditer(text, 0, m.start())]
                before = [s for at, s in calls if at < m.start() and s]
                section = (class_section.get(owner[-1]) if owner else None) or \
                    (before[-1] if before else None)
                if section is None:
                    line = text.count("\n", 0, m.start()) + 1
                    problems.append(f"{path}:{line}: no section for \"{m.group(1)}\"")
                    continue
                keys.append((section, unescape(m.group(1))))
    return keys, problems


def window_keys(langkeys, database):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    # A copy: the program holds the file it shows, and others may be using the original.
    with tempfile.TemporaryDirectory() as work:
        copy = os.path.join(work, os.path.basename(database))
        shutil.copyfile(database, copy)
        out = subprocess.run([langkeys, copy], capture_output=True, text=True, env=env,
                             timeout=300)
    if out.returncode != 0:
        sys.exit(f"{langkeys} failed ({out.returncode}):\n{out.stderr}")
    keys = []
    for line in out.stdout.splitlines():
        section, key = line.split("\t", 1)
        # Texts of the run itself rather than of the program: version numbers, paths.
        if not re.search(r"[A-Za-z]", key) or key.startswith("/"):
            continue
        keys.append((section, key))
    return keys


def read_ini(path):
    """{section: {key: value}} with the reader's rules: case-blind names, first '=' splits."""
    sections, current = {}, None
    with open(path, encoding="utf-8-sig") as f:
        for raw in f:
            line = raw.strip()
            if not line or line.startswith(";"):
                continue
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1].strip().lower(), {})
                continue
            if current is not None and "=" in line:
                key, value = line.split("=", 1)
                current.setdefault(key.strip().lower(), value.strip())
    return sections


def ini_value(text):
    # A value loses one pair of enclosing quotes and its outer blanks: keep those it has.
    if text != text.strip() or (len(text) > 1 and text[0] == text[-1] and text[0] in "\"'"):
        return '"' + text + '"'
    return text


def write_template(keys):
    order, by_section = [], {}
    for section, key in keys:
        if section.lower() not in by_section:
            order.append(section)
            by_section[section.lower()] = []
        entries = by_section[section.lower()]
        if key.lower() not in (k.lower() for k in entries):
            entries.append(key)
    lines = [
        "; Translator's template for Tessor: every text the program looks up, in the section of",
        "; the window that shows it, with the English text as its value. To translate, copy this",
        "; file, replace the values (the part after the first \"=\") and save it as UTF-8 under",
        "; the name DB_ML.ini in the program's folder. A key or value left out shows in English.",
        "; Menu texts carry their mnemonic (&X) and shortcut hint, which a translation keeps;",
        "; %1 and %2 stand for numbers and texts the program fills in.",
        "; Made by scripts/lang-template.py --write; do not edit by hand.",
    ]
    for section in order:
        lines += ["", f"[{section}]"]
        for key in by_section[section.lower()]:
            lines.append(f"{key}={ini_value(key)}")
    with open(TEMPLATE, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    translations = [argv[i + 1] for i, a in enumerate(argv) if a == "--translation"]
    args = [a for a in args if a not in translations]
    if len(args) != 2:
        sys.exit(__doc__)
    keys, problems = message_keys()
    keys = window_keys(args[0], args[1]) + keys
    for section, key in keys:
        if "=" in key or key != key.strip() or key.startswith((";", "[")):
            problems.append(f"[{section}] \"{key}\" cannot be a key of an INI file")
    if "--write" in argv:
        write_template(keys)
        print(f"wrote {os.path.relpath(TEMPLATE, ROOT)}: {len(keys)} lookups")
    template = read_ini(TEMPLATE)
    for section, key in keys:
        if key.lower() not in template.get(section.lower(), {}):
            problems.append(f"missing from the template: [{section}] {key}")
    for path in translations:
        translated = read_ini(path)
        for section, entries in template.items():
            for key in entries:
                if not translated.get(section, {}).get(key):
                    problems.append(f"{path}: no translation of [{section}] {key}")
        for section, entries in translated.items():
            for key in entries:
                if key not in template.get(section, {}):
                    problems.append(f"{path}: [{section}] {key} is not in the template")
    for p in dict.fromkeys(problems):
        print(p)
    count = sum(len(v) for v in template.values())
    print(f"{count} keys in {len(template)} sections; {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
