#!/usr/bin/env python3
"""Checks the editor's goals with the record view's benches, built with the tests.

Runs, from BIN (default <repo>/build/bin), each bench once and reads its lines:
  grid_open_bench --memory CORPUS  the snapshot's heap over its values, every corpus table
  grid_open_bench CORPUS           going to the last of 100,000 records and painting there
  find_bench                       Find of a value only the last of 100,000 records holds
  record_commands_bench            Ascend on a text column; Delete Record on 10,000 picked rows
  clipboard_paste_bench            Paste of 10,000 records
  design_change_bench              a column added to the 100,000-row table (Modify Field)
and prints one table of goal, measure and whether it is met (the memory at most its goal, the
times under theirs). With --check-goals it exits 1 when
a goal is missed or a bench is missing. Tables whose values fill less than one 4 KiB page are
left out of the memory goal: the bookkeeping of their columns alone (88 bytes a column: its
name and type, and the two buffers of its values) outweighs them whatever the layout.
"""
import argparse
import os
import re
import subprocess
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SMALL_TABLE = 4096


def run(bin_dir, name, *args):
    """The bench's standard output; RuntimeError when it is missing or fails."""
    path = os.path.join(bin_dir, name)
    if not os.access(path, os.X_OK):
        raise RuntimeError(f"{name} is not built (cmake --build <build> --target {name})")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    proc = subprocess.run([path, *args], capture_output=True, text=True, env=env, timeout=1800)
    if proc.returncode != 0:
        raise RuntimeError(f"{name} exited {proc.returncode}: {proc.stderr.strip()[-300:]}")
    return proc.stdout


def number(pattern, text, what):
    m = re.search(pattern, text, re.M)
    if not m:
        raise RuntimeError(f"no {what} in the bench's output")
    return float(m.group(1))


def memory(bin_dir, corpus):
    out = run(bin_dir, "grid_open_bench", "--memory", corpus)
    worst, where, left_out = 0.0, "", 0
    for m in re.finditer(r"^([\d.]+) (\S+) (.+) \(\d+ rows, \d+ columns, (\d+) bytes of values",
                         out, re.M):
        if int(m.group(4)) < SMALL_TABLE:
            left_out += 1
        elif float(m.group(1)) > worst:
            worst, where = float(m.group(1)), f"{m.group(2)} {m.group(3)}"
    note = f"worst: {where}; {left_out} tables under 4 KiB of values left out"
    return worst, note


def measures(bin_dir, corpus):
    """(goal, limit, unit, measure or None, note) for every row."""
    rows = []

    def add(goal, limit, unit, get):
        try:
            value, note = get()
        except (RuntimeError, subprocess.TimeoutExpired) as e:
            value, note = None, str(e)
        rows.append((goal, limit, unit, value, note))

    if os.path.isdir(corpus):
        add("Memory of an open corpus table", 1.3, "x", lambda: memory(bin_dir, corpus))
    else:
        rows.append(("Memory of an open corpus table", 1.3, "x", None, f"no corpus at {corpus}"))

    def scroll():
        out = run(bin_dir, "grid_open_bench", corpus)
        m = re.search(r"^\| generated [^|]*\| 100000 \|" + r" ([\d.]+) \|" * 5, out, re.M)
        if not m:
            raise RuntimeError("no 100,000-row line in grid_open_bench's output")
        to_end, paint = float(m.group(4)), float(m.group(5))
        return to_end + paint, f"{to_end:.1f} + {paint:.1f} ms"
    add("Scroll to the end of 100,000 records (go, paint)", 100, "ms", scroll)

    def find():
        out = run(bin_dir, "find_bench")
        times = [float(t) for t in re.findall(r"^  \S.*?\s([\d.]+) ms\s+[\d.]+ ms$", out, re.M)]
        if not times:
            raise RuntimeError("no Find line in find_bench's output")
        return max(times), "slowest criterion: " + f"{max(times):.1f} ms"
    add("Find a value only the last record holds", 100, "ms", find)

    commands = {}

    def record_commands():
        if not commands:
            commands["out"] = run(bin_dir, "record_commands_bench", "3")
        return commands["out"]
    add("Sort by a text column (Ascend)", 100, "ms", lambda: (
        number(r"Ascend on a text column \(whole command\):\s+([\d.]+) ms", record_commands(),
               "Ascend"), "whole command"))
    add("Delete 10,000 selected records", 1000, "ms", lambda: (
        number(r"Delete Record, \d+ picked rows \(whole command\):\s+([\d.]+) ms",
               record_commands(), "Delete Record"), "whole command"))
    add("Paste 10,000 records", 1000, "ms", lambda: (
        number(r"^paste 10000 records .*median ([\d.]+) ms", run(bin_dir,
               "clipboard_paste_bench", "3"), "paste"), "whole command"))
    add("Add a column to the 100,000-row table", 2000, "ms", lambda: (
        number(r"^\| Modify Field, one column added \| (\d+) \|", run(bin_dir,
               "design_change_bench", "3"), "Modify Field"), "Modify Field, whole command"))
    return rows


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin", default=os.path.join(REPO, "build", "bin"))
    ap.add_argument("--corpus", default=os.path.join(
        os.environ.get("TESSOR_SHARED_DIR", os.path.join(REPO, "..", "shared")), "testdata", "mdb"))
    ap.add_argument("--check-goals", action="store_true")
    args = ap.parse_args()

    print("The editor's goals, from the record view's benches (offscreen, test build)\n")
    print("| What | Goal | Measured | Met |")
    print("|---|---:|---|---|")
    missed = 0
    for goal, limit, unit, value, note in measures(args.bin, args.corpus):
        # "At most" for the memory, "under" for the times.
        met = value is not None and (value <= limit if unit == "x" else value < limit)
        missed += not met
        shown = "not measured" if value is None else f"{value:.1f} {unit}".replace(" x", "x")
        bound = f"≤ {limit:g}x" if unit == "x" else f"< {limit:g} ms"
        print(f"| {goal} | {bound} | {shown}: {note} | "
              f"{'yes' if met else 'no'} |", flush=True)
    if args.check_goals:
        print("\ngoals: " + ("all met" if not missed else f"{missed} missed"))
        return 1 if missed else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
