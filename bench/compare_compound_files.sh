#!/usr/bin/env bash
# Times listing and reading every stream of every drawing in the shared
# test data's vsd/ folder, with Dalvex's reader (compound_file_dump) and with
# python3-olefile (dalvex/tests/olefile_dump.py --read-only), best of
# several rounds, and prints both times and their ratio.
# Usage: bench/compare_compound_files.sh [build folder] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
data=${TESTDATA_DIR:-../shared/testdata}
files=("$data"/vsd/*.vsd)
ours=("$build/bin/compound_file_dump")
theirs=(/usr/bin/python3 dalvex/tests/olefile_dump.py --read-only)

best() {
  local best_ms=
  for ((i = 0; i < rounds; ++i)); do
    local start end ms
    start=$(date +%s%N)
    "$@" "${files[@]}" >/dev/null
    end=$(date +%s%N)
    ms=$(((end - start) / 1000000))
    if [[ -z "$best_ms" || $ms -lt $best_ms ]]; then best_ms=$ms; fi
  done
  echo "$best_ms"
}

streams=$("${ours[@]}" "${files[@]}" | grep -vc '^FILE')
bytes=$("${ours[@]}" "${files[@]}" | awk -F'\t' '$1 != "FILE" { s += $3 } END { print s }')
ours_ms=$(best "${ours[@]}")
theirs_ms=$(best "${theirs[@]}")
files=()  # start-up alone: the interpreter with its import, and our program
startup_ms=$(best "${theirs[@]}")
ours_startup_ms=$(best "${ours[@]}")
files=("$data"/vsd/*.vsd)
echo "drawings: ${#files[@]}, streams: $streams, bytes read: $bytes"
echo "Dalvex reader:  ${ours_ms} ms (best of $rounds; ${ours_startup_ms} ms of it start-up)"
echo "olefile (0.46): ${theirs_ms} ms (best of $rounds; ${startup_ms} ms of it start-up and import)"
awk -v a="$ours_ms" -v b="$theirs_ms" -v s="$startup_ms" -v t="$ours_startup_ms" 'BEGIN {
  w = a - t; if (w < 1) w = 1; if (a < 1) a = 1
  printf "olefile / Dalvex: %.1fx whole runs, %.1fx without either start-up\n", b / a, (b - s) / w }'
