#!/usr/bin/env bash
# Compares the patcher's MD5 validation speed with md5sum on the same 1 GiB
# file, on a warm disk, in one run, and prints the throughput ratio.
#
#   scripts/bench-md5.sh [rounds]
#
# Builds velmora-md5-bench in Release from the linux preset into
# build/bench-md5 (its own folder, so other builds are left alone), makes a
# 1 GiB file of pseudo-random bytes, reads it once to warm the cache, then
# alternates the two programs for the given number of rounds (default 7) and
# compares their best times, by the wall clock and by CPU time. The patcher's
# program reads the file the way validation does (8 MiB reads), and the two
# digests must agree.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
rounds="${1:-7}"
build="$here/build/bench-md5"

cmake --preset linux -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target velmora-md5-bench >/dev/null
bench="$build/bin/velmora-md5-bench"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
file="$work/one-gibibyte.bin"
# Pseudo-random bytes, so that no layer can shortcut a run of zeros.
head -c $((1 << 30)) /dev/urandom >"$file"
cat "$file" >/dev/null

# Each program runs under bash's time keyword: wall time, and user + system
# CPU time, which a busy machine disturbs less.
TIMEFORMAT='%R %U %S'
measure() {  # measure <output file> <command...>: prints "wall cpu"
  local out="$1"
  shift
  local times
  times=$({ time "$@" >"$out"; } 2>&1)
  awk -v t="$times" 'BEGIN { split(t, f, " "); printf "%.3f %.3f\n", f[1], f[2] + f[3] }'
}
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

best_wall_ours="" best_wall_reference="" best_cpu_ours="" best_cpu_reference=""
for ((round = 1; round <= rounds; round++)); do
  read -r wall_ours cpu_ours < <(measure "$work/ours.txt" "$bench" "$file")
  read -r wall_reference cpu_reference < <(measure "$work/reference.txt" md5sum "$file")
  ours_digest="$(cut -d' ' -f1 "$work/ours.txt")"
  reference_digest="0x$(cut -d' ' -f1 "$work/reference.txt")"
  if [[ "$ours_digest" != "$reference_digest" ]]; then
    echo "bench-md5: digests differ: $ours_digest vs $reference_digest" >&2
    exit 1
  fi
  printf 'round %d: velmora %s s (cpu %s s), md5sum %s s (cpu %s s)\n' "$round" "$wall_ours" \
    "$cpu_ours" "$wall_reference" "$cpu_reference"
  best_wall_ours=$(best "$wall_ours" "$best_wall_ours")
  best_wall_reference=$(best "$wall_reference" "$best_wall_reference")
  best_cpu_ours=$(best "$cpu_ours" "$best_cpu_ours")
  best_cpu_reference=$(best "$cpu_reference" "$best_cpu_reference")
done

awk -v wo="$best_wall_ours" -v wr="$best_wall_reference" -v co="$best_cpu_ours" \
  -v cr="$best_cpu_reference" -v rounds="$rounds" 'BEGIN {
  printf "best of %d rounds, 1 GiB each:\n", rounds
  printf "  velmora MD5: %.0f MiB/s wall, %.0f MiB/s per CPU second\n", 1024 / wo, 1024 / co
  printf "  md5sum:      %.0f MiB/s wall, %.0f MiB/s per CPU second\n", 1024 / wr, 1024 / cr
  printf "ratio (velmora / md5sum throughput): %.3f wall, %.3f CPU time\n", wr / wo, cr / co
}'
