#!/usr/bin/env bash
# Builds a release mdbtool (and write_bench) in <repo>/build-bench and runs the benchmarks:
# the export benchmark (bench.py), then the write benchmark (write_bench.py: import against
# SQLite, single-row updates), then the editor's goals (editor_goals.py: the record view's
# benches, from the test build in <repo>/build, which the README's test command makes).
#   bench/run.sh [--export-only | --write-only] [options...]
# Options go to the export benchmark (bench/run.sh --runs 50), or with --write-only to the write
# benchmark (bench/run.sh --write-only --rows 20000); run alongside, the write benchmark takes
# its defaults.
# With hyperfine installed, the first export case is also timed by hyperfine as a cross-check.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
shared=${TESSOR_SHARED_DIR:-$root/../shared}
export_bench=1
write_bench=1
editor_bench=1
case "${1:-}" in
--export-only) write_bench=0; editor_bench=0; shift ;;
--write-only) export_bench=0; editor_bench=0; shift ;;
esac

# The write benchmark compares against SQLite through its C library (not needed by CI).
if [ $write_bench = 1 ] && ! dpkg-query -W -f='${Status}' libsqlite3-dev 2>/dev/null | grep -q 'ok installed'; then
    echo "bench: installing libsqlite3-dev for the write benchmark" >&2
    if [ "$(id -u)" = 0 ]; then apt-get install -y libsqlite3-dev >/dev/null; else sudo apt-get install -y libsqlite3-dev >/dev/null; fi
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSOR_BUILD_TESTS=OFF >/dev/null
targets=(mdbtool)
[ $write_bench = 0 ] || targets+=(write_bench)
cmake --build "$build" --target "${targets[@]}" -j2 >/dev/null
[ $export_bench = 0 ] || [ -d "$root/node_modules/mdb-reader" ] || (cd "$root" && npm ci --no-audit --no-fund >/dev/null)

echo "## setup"
echo '```'
echo "date:     $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "commit:   $(git -C "$root" rev-parse --short HEAD)"
echo "cpu:      $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //') ($(nproc) cores)"
echo "kernel:   $(uname -r)"
echo "load:     $(cut -d' ' -f1-3 /proc/loadavg)"
echo "mdbtool:  $(c++ --version | head -1), -O3 (CMake Release)"
if [ $export_bench = 1 ]; then
    echo "mdbtools: $(dpkg-query -W -f='${Version}' mdbtools 2>/dev/null || echo '?') (mdb-export)"
    echo "node:     $(node --version), mdb-reader $(node -p "require('$root/node_modules/mdb-reader/package.json').version")"
fi
[ $write_bench = 0 ] || echo "sqlite:   $(dpkg-query -W -f='${Version}' libsqlite3-0 2>/dev/null || echo '?') (libsqlite3)"
echo '```'
echo

# --check-goals goes to both benchmarks; the run fails when either misses a goal.
check_goals=()
for a in "$@"; do [ "$a" != --check-goals ] || check_goals=(--check-goals); done
status=0
if [ $export_bench = 1 ]; then
    python3 "$root/bench/bench.py" --mdbtool "$build/bin/mdbtool" \
        --corpus "$shared/testdata/mdb" "$@" || status=1
    if command -v hyperfine >/dev/null; then
        f=$shared/testdata/mdb/jet4-northwind-statdata.mdb
        iso='%Y-%m-%d %H:%M:%S'
        echo
        hyperfine -N --warmup 3 --style basic \
            "$build/bin/mdbtool export $f 'Order Details'" \
            "mdb-export -b hex -D '$iso' -T '$iso' $f 'Order Details'" \
            "node $root/tools/scripts/mdbreader-export.mjs $f 'Order Details'"
    fi
    echo
fi
if [ $write_bench = 1 ]; then
    write_args=("${check_goals[@]}")
    [ $export_bench = 1 ] || write_args=("$@")
    python3 "$root/bench/write_bench.py" --mdbtool "$build/bin/mdbtool" \
        --write-bench "$build/bin/write_bench" "${write_args[@]}" || status=1
fi
if [ $editor_bench = 1 ]; then
    echo
    TESSOR_SHARED_DIR=$shared python3 "$root/bench/editor_goals.py" \
        --bin "${EDITOR_BENCH_BIN:-$root/build/bin}" "${check_goals[@]}" || status=1
fi
exit $status
