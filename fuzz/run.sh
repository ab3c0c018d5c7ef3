#!/usr/bin/env bash
# Builds the libFuzzer targets (engine open-and-read, one page of each kind, image decoding, SQL
# statements, card templates, Find criteria, CSV import, clipboard text, translation files) with
# clang (-fsanitize=fuzzer,address,undefined) and runs them for a bounded time, seeded from the .mdb corpus. Exits non-zero when the fuzzer finds a crash, a
# leak, a sanitizer report, a timeout (30 s for one input) or a single allocation of 256 MiB or
# more (a length field believed without a bound); the input that did it is left in the
# artifacts folder.
#
#   fuzz/run.sh [SECONDS] [BUILD_DIR]      defaults: 60, <repo>/build-fuzz
#   env: TESSOR_SHARED_DIR (default <repo>/../shared), FUZZ_JOBS (default 1)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${2:-$root/build-fuzz}
shared=${TESSOR_SHARED_DIR:-$root/../shared}
jobs=${FUZZ_JOBS:-1}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTESSOR_BUILD_FUZZ=ON -DTESSOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target open_read_fuzz page_kind_fuzz image_decode_fuzz sql_parse_fuzz card_template_fuzz \
    find_criterion_fuzz csv_import_fuzz clipboard_text_fuzz ini_read_fuzz -j"$(nproc)"

# The working corpus grows across runs in the build folder; the seeds are read-only input.
corpus=$build/fuzz-corpus
artifacts=$build/fuzz-artifacts
mkdir -p "$corpus" "$artifacts"
seeds=()
if [ -d "$shared/testdata/mdb" ]; then
    seeds+=("$shared/testdata/mdb")
else
    echo "run.sh: no seed corpus at $shared/testdata/mdb; starting from an empty corpus" >&2
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
parallel=()
if [ "$jobs" -gt 1 ]; then
    # Fork mode: each worker logs to fuzz-N.log in the artifacts folder.
    parallel=(-fork="$jobs" -ignore_crashes=0)
fi
cd "$artifacts"
"$build/bin/open_read_fuzz" \
    -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -malloc_limit_mb=256 -max_len=4194304 \
    "${parallel[@]}" -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" "${seeds[@]}"

# One page of each kind replaced in a database the target builds, for 20 seconds. An empty
# corpus folder is filled with the database's own pages first.
mkdir -p "$build/fuzz-corpus-page_kind"
"$build/bin/page_kind_fuzz" \
    -max_total_time=20 -timeout=30 -rss_limit_mb=2048 -malloc_limit_mb=256 -max_len=4098 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$build/fuzz-corpus-page_kind"

# The image reader's decoding, for half the time, seeded with a tiny picture of each format
# the preview shows (first byte 0: recognised by content; 1: TGA).
mkdir -p "$build/fuzz-corpus-images"
"$build/bin/image_decode_fuzz" \
    -max_total_time="$(( (seconds + 1) / 2 ))" -timeout=30 -rss_limit_mb=4096 -max_len=262144 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$build/fuzz-corpus-images" \
    "$root/fuzz/image-seeds"

# SQL statements, for 20 seconds, seeded with a few statements of every form.
mkdir -p "$build/fuzz-corpus-sql"
"$build/bin/sql_parse_fuzz" \
    -max_total_time=20 -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$build/fuzz-corpus-sql" "$root/fuzz/sql-seeds"

# Card-design templates, for 20 seconds, seeded with the shipped examples.
mkdir -p "$build/fuzz-corpus-cards"
"$build/bin/card_template_fuzz" \
    -max_total_time=20 -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$build/fuzz-corpus-cards" \
    "$root/plugins/cardio/Layout"

# The smaller readers, 15 seconds each, each seeded from its folder of fuzz/ (which also holds
# the inputs of past findings, so every run replays them first).
small() {
    local target=$1 seeds=$2 maxlen=$3
    mkdir -p "$build/fuzz-corpus-$target"
    "$build/bin/${target}_fuzz" \
        -max_total_time=15 -timeout=10 -rss_limit_mb=2048 -max_len="$maxlen" \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$build/fuzz-corpus-$target" \
        "$root/fuzz/$seeds"
}
small find_criterion criteria-seeds 1024
small csv_import csv-seeds 16384
small clipboard_text clipboard-seeds 16384
small ini_read ini-seeds 16384
