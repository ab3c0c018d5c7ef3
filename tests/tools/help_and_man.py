#!/usr/bin/env python3
"""mdbtool's help and its manual page name the same commands and exit codes.

usage: help_and_man.py MDBTOOL MANPAGE

Every command that `mdbtool --help` lists answers `help COMMAND`, `COMMAND --help` and
`COMMAND FILE --help` alike, with its own usage line and exit codes, and is refused as bad usage
(2) without FILE; the manual page describes exactly those commands, in the same order, and every
exit code the overview gives. Unknown commands and options are bad usage with the reason and
the overview on standard error.
"""
import re
import subprocess
import sys


def run(tool, *args):
    p = subprocess.run([tool, *args], capture_output=True, text=True, timeout=60)
    return p.returncode, p.stdout, p.stderr


def section(text, title):
    """The indented lines after the line `title:` up to the next unindented line."""
    lines = text.splitlines()
    start = lines.index(title + ":") + 1
    out = []
    for line in lines[start:]:
        if not line.startswith(" "):
            break
        out.append(line)
    return out


def main():
    tool, manpage = sys.argv[1], sys.argv[2]
    failures = []

    def expect(cond, what):
        if not cond:
            failures.append(what)

    code, overview, err = run(tool, "--help")
    expect(code == 0 and not err, f"--help exits {code}, stderr {err!r}")
    commands = [l.split()[0] for l in section(overview, "commands")]
    exits = {l.split()[0]: l for l in section(overview, "exit codes")}
    expect(len(commands) >= 8, f"too few commands listed: {commands}")
    expect(sorted(exits) == ["0", "1", "2", "3"], f"exit codes listed: {sorted(exits)}")
    expect(run(tool, "help")[1] == overview, "`help` differs from --help")

    man = open(manpage, encoding="utf-8").read()
    man_commands = re.findall(r'^\.BI "(\w+) ', man, re.M)
    man_commands = [c for c in man_commands if c != "help"]
    expect(man_commands == commands,
           f"manual page commands {man_commands} != --help commands {commands}")
    status = man.split(".SH EXIT STATUS", 1)[-1].split("\n.SH", 1)[0]
    man_exits = re.findall(r"^\.TP\n\.B (\d+)$", status, re.M)
    expect(sorted(man_exits) == sorted(exits), f"manual exit codes {man_exits} != {sorted(exits)}")

    for c in commands:
        code, text, err = run(tool, "help", c)
        expect(code == 0 and text.startswith(f"usage: mdbtool {c} "), f"help {c}: {code} {text!r}")
        expect("exit codes:" in text and "  3  " in text, f"help {c} lacks its exit codes")
        expect(run(tool, c, "--help") == (code, text, err), f"{c} --help differs from help {c}")
        expect(run(tool, c, "x.mdb", "--help")[1] == text, f"{c} FILE --help differs")
        # With no FILE the command is refused as bad usage, naming no unknown command.
        code, _, err = run(tool, c)
        expect(code == 2 and "mdbtool: unknown command" not in err, f"{c} without FILE: {code} {err!r}")
    # Only check has exit code 1.
    expect("  1  " in run(tool, "help", "check")[1], "help check lacks exit code 1")
    expect("  1  " not in run(tool, "help", "info")[1], "help info claims exit code 1")

    for args, why in [(("help", "frobnicate"), "unknown command frobnicate"),
                      (("frobnicate", "x.mdb"), "unknown command frobnicate"),
                      (("info", "--frob"), "unknown option --frob")]:
        code, out, err = run(tool, *args)
        expect(code == 2 and why in err and not out and "commands:" in err,
               f"{args}: {code} {err!r}")

    for f in failures:
        print("FAIL:", f)
    print(f"{len(commands)} commands, {len(exits)} exit codes checked; {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
