#!/usr/bin/env python3
"""Times table exports: mdbtool vs mdb-export vs mdb-reader, on the same file in the same run.

Each round runs every command once, in turn, so that drifts in machine load hit all three
alike. Wall time is taken around fork/exec/wait. Peak memory comes from GNU time's %M in
separate runs: the maximum resident set size a child reports to a Python parent would include
the parent's own pages from before the exec, some 15 MiB. Prints a Markdown table with medians
and the ratios to mdbtool.
"""
import argparse
import csv
import io
import os
import statistics
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ISO = "%Y-%m-%d %H:%M:%S"

# (file, table): the largest tables of the corpus and the text/long-value heavy ones.
DEFAULT_CASES = [
    ("jet4-northwind-statdata.mdb", "Order Details"),
    ("jet3-mdbtools-nwind.mdb", "Order Details"),
    ("jet4-northwind-statdata.mdb", "Orders"),
    ("jet4-northwind-statdata.mdb", "Customers"),
    ("jet4-northwind-statdata.mdb", "Employees"),
    ("jet3-pecl-bigmemo.mdb", "Tabelle1"),
    ("jet4-zblog-cjk-longmemo.mdb", "blog_Function"),
    ("jet3-jackcess-indexcodes.mdb", "Table1"),
]


GNU_TIME = "/usr/bin/time"


def run_once(argv):
    """Wall seconds and CPU seconds (user + system) of one run of the command."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.stderr.close()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise RuntimeError(f"{argv[0]} exited {proc.returncode}: {err.decode().strip()}")
    return elapsed, usage.ru_utime + usage.ru_stime


def peak_rss_kib(argv):
    """Largest resident set of the command (KiB), or None without GNU time."""
    if not os.access(GNU_TIME, os.X_OK):
        return None
    proc = subprocess.run([GNU_TIME, "-f", "%M", *argv], stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, check=True)
    return int(proc.stderr.decode().strip().splitlines()[-1])


def mib(kib):
    return "n/a" if kib is None else f"{kib / 1024:.1f}"


def commands(mdbtool, path, table):
    return {
        "mdbtool": [mdbtool, "export", path, table],
        "mdb-export": ["mdb-export", "-b", "hex", "-D", ISO, "-T", ISO, path, table],
        "mdb-reader": ["node", os.path.join(REPO, "tools", "scripts", "mdbreader-export.mjs"),
                       path, table],
    }


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--mdbtool", default=os.path.join(REPO, "build-bench", "bin", "mdbtool"))
    ap.add_argument("--corpus", default=os.path.join(
        os.environ.get("TESSOR_SHARED_DIR", os.path.join(REPO, "..", "shared")), "testdata", "mdb"))
    ap.add_argument("--runs", type=int, default=30)
    ap.add_argument("--warmup", type=int, default=3)
    ap.add_argument("--check-goals", action="store_true",
                    help="exit 1 unless mdbtool is >= 3x faster than mdb-export and >= 5x than mdb-reader")
    ap.add_argument("case", nargs="*", help="FILE:TABLE (file name inside the corpus folder)")
    args = ap.parse_args()

    cases = [tuple(c.split(":", 1)) for c in args.case] or DEFAULT_CASES
    print(f"{args.runs} rounds (+{args.warmup} warm-up); times are medians (wall, and CPU = user "
          f"+ system); peak RSS is the largest of 3 runs under GNU time\n")
    print("| file | table | rows | mdbtool ms | mdb-export ms | mdb-reader ms | "
          "vs mdb-export | vs mdb-reader | mdbtool CPU ms | mdb-export CPU ms | mdb-reader CPU ms | "
          "CPU vs mdb-export | mdbtool RSS MiB | mdb-export RSS MiB | mdb-reader RSS MiB |")
    print("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    ok = True
    for file, table in cases:
        path = os.path.join(args.corpus, file)
        cmds = commands(args.mdbtool, path, table)
        out = subprocess.run(cmds["mdbtool"], capture_output=True, check=True).stdout
        rows = sum(1 for _ in csv.reader(io.StringIO(out.decode(), newline=""))) - 1
        times = {k: [] for k in cmds}
        cpu = {k: [] for k in cmds}
        for i in range(args.warmup + args.runs):
            for name, argv in cmds.items():
                t, c = run_once(argv)
                if i >= args.warmup:
                    times[name].append(t)
                    cpu[name].append(c)
        rss = {}
        for name, argv in cmds.items():
            samples = [peak_rss_kib(argv) for _ in range(3)]
            rss[name] = None if None in samples else max(samples)
        med = {k: statistics.median(v) * 1000 for k, v in times.items()}
        cmed = {k: statistics.median(v) * 1000 for k, v in cpu.items()}
        r_export = med["mdb-export"] / med["mdbtool"]
        r_reader = med["mdb-reader"] / med["mdbtool"]
        ok = ok and r_export >= 3 and r_reader >= 5
        print(f"| {file} | {table} | {rows} | {med['mdbtool']:.2f} | {med['mdb-export']:.2f} | "
              f"{med['mdb-reader']:.1f} | {r_export:.1f}x | {r_reader:.1f}x | "
              f"{cmed['mdbtool']:.2f} | {cmed['mdb-export']:.2f} | {cmed['mdb-reader']:.0f} | "
              f"{cmed['mdb-export'] / max(cmed['mdbtool'], 0.01):.1f}x | "
              f"{mib(rss['mdbtool'])} | {mib(rss['mdb-export'])} | {mib(rss['mdb-reader'])} |",
              flush=True)
    if args.check_goals and not ok:
        print("\nbench: below the goals (3x mdb-export, 5x mdb-reader)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
