#!/usr/bin/env bash
# What the sheet mode (-s) costs: the same run with and without -s, on one worker (taskset -c 0)
# and on all cores, on books of 60 and 300 pages (the sample pages copied in turn, as in run.sh),
# writing every page with -w. Times are medians of RUNS runs (hyperfine), each after `sync`.
#
# Usage: bench/sheet_cost.sh [SAMPLES_DIR] [RUNS] [BOOK_SIZES]     e.g. bench/sheet_cost.sh '' 5 60
# Needs: cmake, g++, hyperfine, taskset, python3
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
samples=${1:-$root/../shared/samples}
runs=${2:-5}
sizes=${3:-60 300}
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DQUARNEL_BUILD_TESTS=OFF \
  -DQUARNEL_BUILD_BENCH=ON >/dev/null
cmake --build "$root/build-bench" -j"$(nproc)" --target quarnel >/dev/null
quarnel=${QUARNEL:-$root/build-bench/quarnel}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t pages < <(find "$samples" -maxdepth 1 -iname '*.jpg' | sort)
[ "${#pages[@]}" -gt 0 ] || { echo "no .jpg in $samples" >&2; exit 1; }

for n in $sizes; do
  book=$work/book$n out=$work/out$n
  mkdir -p "$book" "$out"
  for i in $(seq 0 $((n - 1))); do
    cp "${pages[$((i % ${#pages[@]}))]}" "$book/$(printf 'p%03d.jpg' "$i")"
  done
  hyperfine --style basic --runs "$runs" --warmup 1 --prepare sync --export-json "$work/t$n.json" \
    -n one "taskset -c 0 $quarnel -i $book/ -o $out/ -w" \
    -n one-s "taskset -c 0 $quarnel -i $book/ -o $out/ -w -s" \
    -n all "$quarnel -i $book/ -o $out/ -w" \
    -n all-s "$quarnel -i $book/ -o $out/ -w -s" >&2
  python3 - "$n" "$work/t$n.json" <<'PY'
import json, sys
t = {r["command"]: r["median"] for r in json.load(open(sys.argv[2]))["results"]}
for cores in ("one", "all"):
    plain, sheet = t[cores], t[cores + "-s"]
    print(f"{sys.argv[1]} pages, {cores} core(s): {plain:.3f} s without -s, {sheet:.3f} s with -s"
          f" ({100 * (sheet / plain - 1):+.1f} %)")
PY
  rm -rf "$book" "$out"
done
