#!/usr/bin/env bash
# Times listing and reading every stream of every drawing in the shared
# test data's vsd/ folder, with Dalvex's reader (compound_file_dump) and with
# python3-olefile (dalvex/tests/olefile_dump.py --read-only). Each run goes
# over the folder `repeat` times so that start-up weighs little; the best of
# `rounds` runs counts. Prints both times and their ratio.
# Usage: bench/compare_compound_files.sh [build folder] [rounds] [repeat]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
repeat=${3:-20}
data=${TESTDATA_DIR:-../shared/testdata}
drawings=("$data"/vsd/*.vsd)
files=()
for ((i = 0; i < repeat; ++i)); do files+=("${drawings[@]}"); done
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

streams=$("${ours[@]}" "${drawings[@]}" | grep -vc '^FILE')
bytes=$("${ours[@]}" "${drawings[@]}" | awk -F'\t' '$1 != "FILE" { s += $3 } END { print s }')
ours_ms=$(best "${ours[@]}")
theirs_ms=$(best "${theirs[@]}")
echo "drawings: ${#drawings[@]} (each read $repeat times per run), streams: $streams, bytes: $bytes"
echo "Dalvex reader:  ${ours_ms} ms (best of $rounds)"
echo "olefile (0.46): ${theirs_ms} ms (best of $rounds)"
awk -v a="$ours_ms" -v b="$theirs_ms" -v n="$bytes" -v r="$repeat" 'BEGIN {
  if (a < 1) a = 1
  printf "MB/s: Dalvex %.0f, olefile %.0f; olefile / Dalvex: %.1fx\n", n * r / a / 1000, n * r / b / 1000, b / a }'
