#!/usr/bin/env bash
# Times the whole vsd corpus through the extraction interface
# (build/bin/vsd-extract, GetText_V4 in UTF-8, one process per file) beside
# vsd2text (libvisio, one process per file): 5 rounds each, median total
# wall time, and the ratio. The engine's configuration comes from the
# build's etc/ in a private temporary folder.
# Usage: bench/vsd_extract_bench.sh [build folder]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
data=${TESTDATA_DIR:-../shared/testdata}/vsd
driver="$build/bin/vsd-extract"
[[ -x "$driver" ]] || { echo "vsd_extract_bench: build $driver first" >&2; exit 1; }
command -v vsd2text >/dev/null || { echo "vsd_extract_bench: install libvisio-tools" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$build/etc" "$work/etc"
mapfile -t files < <(find "$data" -maxdepth 1 -name '*.vsd' | sort)
cat "${files[@]}" > /dev/null

run_ours() { for f in "${files[@]}"; do TMPDIR="$work" "$driver" "$f" "$work/out.txt" > /dev/null || true; done; }
run_peer() { for f in "${files[@]}"; do vsd2text "$f" > /dev/null 2>&1 || true; done; }

median() {  # median of 5 wall times, in seconds, of the function given
  local times=()
  for _ in 1 2 3 4 5; do
    local start end
    start=$(date +%s.%N)
    "$1"
    end=$(date +%s.%N)
    times+=("$(echo "$start $end" | awk '{print $2 - $1}')")
  done
  printf '%s\n' "${times[@]}" | sort -g | sed -n 3p
}

run_ours; run_peer  # warm up
ours=$(median run_ours)
peer=$(median run_peer)
echo "files: ${#files[@]}"
echo "vsd-extract (GetText_V4, UTF-8): ${ours} s"
echo "vsd2text:                         ${peer} s"
echo "ratio vsd2text / vsd-extract: $(echo "$peer $ours" | awk '{printf "%.2f", $1 / $2}')"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
