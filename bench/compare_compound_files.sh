#!/usr/bin/env bash
# Times reading every stream of every compound file of the shared test
# data's ole/ and vsd/ folders in one run with Quarnel's reader
# (quarnel_ole_dump), Dalvex's (compound_file_dump) and python3-olefile
# (dalvex/tests/olefile_dump.py --read-only). Each run goes over the files
# `repeat` times; the best of `rounds` runs counts. The bytes are those
# Quarnel's reader delivers.
# Usage: bench/compare_compound_files.sh [build folder] [rounds] [repeat]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
repeat=${3:-10}
data=${TESTDATA_DIR:-../shared/testdata}
inputs=()
for f in "$data"/ole/* "$data"/vsd/*; do
  [[ -f $f && $(basename "$f") != INDEX.tsv ]] && inputs+=("$f")
done
files=()
for ((i = 0; i < repeat; ++i)); do files+=("${inputs[@]}"); done

best() {
  local best_ms= i start end ms
  for ((i = 0; i < rounds; ++i)); do
    start=$(date +%s%N)
    "$@" "${files[@]}" >/dev/null
    end=$(date +%s%N)
    ms=$(((end - start) / 1000000))
    if [[ -z "$best_ms" || $ms -lt $best_ms ]]; then best_ms=$ms; fi
  done
  echo "$best_ms"
}

bytes=$("$build/bin/quarnel_ole_dump" "${inputs[@]}" | awk -F'\t' '$1 != "FILE" { s += $3 } END { print s }')
quarnel_ms=$(best "$build/bin/quarnel_ole_dump")
dalvex_ms=$(best "$build/bin/compound_file_dump")
olefile_ms=$(best /usr/bin/python3 dalvex/tests/olefile_dump.py --read-only)
echo "files: ${#inputs[@]} (each read $repeat times per run), bytes: $bytes"
echo "Quarnel: $quarnel_ms ms, Dalvex: $dalvex_ms ms, olefile: $olefile_ms ms (best of $rounds)"
awk -v q="$quarnel_ms" -v d="$dalvex_ms" -v o="$olefile_ms" -v n="$bytes" -v r="$repeat" 'BEGIN {
  if (q < 1) q = 1
  printf "MB/s: quarnel %.1f dalvex %.1f olefile %.1f\n", n * r / q / 1000, n * r / d / 1000, n * r / o / 1000 }'
