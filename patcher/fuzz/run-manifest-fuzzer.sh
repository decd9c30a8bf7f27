#!/usr/bin/env bash
# Fuzzes the manifest reader with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer, then merges the inputs that reached new code
# into the corpus in the tree (which the test suite replays).
#
#   patcher/fuzz/run-manifest-fuzzer.sh [seconds]      default 600
#
# Needs clang and libclang-rt (scripts/install-deps.sh installs both). Builds
# into build/patcher-fuzz, apart from every other build.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
seconds="${1:-600}"
build="$here/build/patcher-fuzz"
corpus="$here/patcher/fuzz/corpus"

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_TESTS=OFF -DVELMORA_MANIFEST_FUZZER=ON >/dev/null
cmake --build "$build" -j2 --target manifest_fuzzer >/dev/null

# Every rejected input writes log lines; a log folder that cannot be created
# drops them instead of filling the disk during a long run.
export VELMORA_APPDATA_DIR=/proc/velmora-fuzz-drops-the-log
fresh="$build/corpus-fresh"
mkdir -p "$fresh"
"$build/bin/manifest_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -dict="$here/patcher/fuzz/manifest.dict" \
  "$fresh" "$corpus"
"$build/bin/manifest_fuzzer" -merge=1 "$corpus" "$fresh"
echo "run-manifest-fuzzer: corpus now holds $(ls "$corpus" | wc -l) inputs"
