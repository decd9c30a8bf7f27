#!/usr/bin/env bash
# Compares the patcher's MD5 validation speed with md5sum on the same 1 GiB
# file, on a warm disk, in one run, and prints the throughput ratio.
#
#   scripts/bench-md5.sh [rounds]
#
# Builds velmora-md5-bench in Release from the linux preset into
# build/bench-md5 (its own folder, so other builds are left alone), makes a
# 1 GiB file of pseudo-random bytes, reads it once to warm the cache, then
# alternates the two programs for the given number of rounds (default 5) and
# compares their best times. The patcher's program reads the file the way
# validation does (8 MiB reads) and checks that both digests agree.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
rounds="${1:-5}"
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

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", b - a }'; }
less() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
best_ours=""
best_reference=""
for ((round = 1; round <= rounds; round++)); do
  start=$(now)
  ours=$("$bench" "$file")
  ours_time=$(elapsed "$start" "$(now)")

  start=$(now)
  reference=$(md5sum "$file")
  reference_time=$(elapsed "$start" "$(now)")

  ours_digest="${ours%% *}"
  reference_digest="0x${reference%% *}"
  if [[ "$ours_digest" != "$reference_digest" ]]; then
    echo "bench-md5: digests differ: $ours_digest vs $reference_digest" >&2
    exit 1
  fi
  printf 'round %d: velmora %.3f s, md5sum %.3f s\n' "$round" "$ours_time" "$reference_time"
  if [[ -z "$best_ours" ]] || less "$ours_time" "$best_ours"; then best_ours=$ours_time; fi
  if [[ -z "$best_reference" ]] || less "$reference_time" "$best_reference"; then
    best_reference=$reference_time
  fi
done

awk -v ours="$best_ours" -v reference="$best_reference" -v rounds="$rounds" 'BEGIN {
  printf "velmora MD5: %.0f MiB/s (best of %d)\n", 1024 / ours, rounds
  printf "md5sum:      %.0f MiB/s (best of %d)\n", 1024 / reference, rounds
  printf "ratio (velmora / md5sum throughput): %.3f\n", reference / ours
}'
