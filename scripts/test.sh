#!/usr/bin/env bash
# The test command: installs what is missing, builds both targets and runs
# both test suites (Linux natively, Windows under Wine). Ends with one line
# "N passed, N failed" over both suites and exits non-zero on any failure.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="${VELMORA_JOBS:-2}"

bash scripts/install-deps.sh || { echo "test: installing dependencies failed" >&2; exit 1; }

build() {
  local preset=$1
  cmake --preset "$preset" >"build/$preset-build.log" 2>&1 &&
    cmake --build --preset "$preset" -j "$jobs" >>"build/$preset-build.log" 2>&1
  local status=$?
  if [ $status -ne 0 ]; then
    tail -n 60 "build/$preset-build.log" >&2
    echo "test: the $preset build failed (full log: build/$preset-build.log)" >&2
  fi
  return $status
}

mkdir -p build
status=0
# Linux first: the Windows tests use Linux programs of the build (the
# development server, the browser) under Wine.
build linux || status=1
build windows || status=1
[ $status -ne 0 ] && { echo "0 passed, 1 failed"; exit 1; }

rm -rf build/linux/test-results build/windows/test-results \
  build/*/Testing/Temporary/LastTestsFailed*.log

ctest --preset linux -j "$jobs" || status=1

# One wineserver for the whole Windows run: every Wine start is then cheap.
export WINEPREFIX="$root/build/windows/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p >/dev/null 2>&1 || true
# Boot the prefix (creating it the first time) with its services detached from
# our output: a service started by the first test would otherwise hold the
# test runner's pipe open for as long as the wineserver lives.
wineboot </dev/null >/dev/null 2>&1 || true
ctest --preset windows -j 1 || status=1
wineserver -k >/dev/null 2>&1 || true

python3 scripts/count-results.py build/linux/test-results build/windows/test-results
count_status=$?
[ $count_status -ne 0 ] && status=1
exit $status
