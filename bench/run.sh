#!/usr/bin/env bash
# Builds a release mdbtool in <repo>/build-bench and runs the export benchmark.
#   bench/run.sh [bench.py options...]    e.g. bench/run.sh --runs 50
# With hyperfine installed, the first case is also timed by hyperfine as a cross-check.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
shared=${TESSOR_SHARED_DIR:-$root/../shared}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target mdbtool -j2 >/dev/null
[ -d "$root/node_modules/mdb-reader" ] || (cd "$root" && npm ci --no-audit --no-fund >/dev/null)

echo "## setup"
echo '```'
echo "date:     $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "commit:   $(git -C "$root" rev-parse --short HEAD)"
echo "cpu:      $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //') ($(nproc) cores)"
echo "kernel:   $(uname -r)"
echo "mdbtool:  $(c++ --version | head -1), -O3 (CMake Release)"
echo "mdbtools: $(dpkg-query -W -f='${Version}' mdbtools 2>/dev/null || echo '?') (mdb-export)"
echo "node:     $(node --version), mdb-reader $(node -p "require('$root/node_modules/mdb-reader/package.json').version")"
echo '```'
echo
python3 "$root/bench/bench.py" --mdbtool "$build/bin/mdbtool" \
    --corpus "$shared/testdata/mdb" "$@"

if command -v hyperfine >/dev/null; then
    f=$shared/testdata/mdb/jet4-northwind-statdata.mdb
    iso='%Y-%m-%d %H:%M:%S'
    echo
    hyperfine -N --warmup 3 --style basic \
        "$build/bin/mdbtool export $f 'Order Details'" \
        "mdb-export -b hex -D '$iso' -T '$iso' $f 'Order Details'" \
        "node $root/tools/scripts/mdbreader-export.mjs $f 'Order Details'"
fi
