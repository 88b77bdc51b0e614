#!/usr/bin/env bash
# Whole-run benchmark against the floor of the job.
#
# The floor is what any tool must spend: one JPEG decode of every input page (djpeg) and one
# grayscale quality-50 encode of every output page (cjpeg), one after the other on one core.
# The book is 60 pages: the five single sample pages, each copied 12 times, as p000 ... p059.
#
# Usage: bench/run.sh [SAMPLES_DIR] [RUNS]
# Needs: cmake, g++, libjpeg-turbo-progs (djpeg, cjpeg), hyperfine, time
#   apt-get install -y libjpeg-turbo-progs hyperfine time
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
samples=${1:-$root/../shared/samples}
runs=${2:-5}
for tool in djpeg cjpeg hyperfine taskset /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (see the header of $0)" >&2; exit 1; }
done

cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DQUARNEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build-bench" -j"$(nproc)" --target quarnel >/dev/null
quarnel=$root/build-bench/quarnel

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/book" "$work/out" "$work/pgm"
mapfile -t pages < <(find "$samples" -maxdepth 1 -iname '*.jpg' | sort)
[ "${#pages[@]}" -gt 0 ] || { echo "no .jpg in $samples" >&2; exit 1; }
for i in $(seq 0 59); do
  cp "${pages[$((i % ${#pages[@]}))]}" "$work/book/$(printf 'p%03d.jpg' "$i")"
done

# One run to get the output pages; their decoded pixels are the encoder's input for the floor.
"$quarnel" -i "$work/book" -o "$work/out" -w >/dev/null
for f in "$work"/out/*.jpg; do djpeg -outfile "$work/pgm/$(basename "$f" .jpg).pgm" "$f"; done

cat > "$work/floor.sh" <<FLOOR
for f in "$work"/book/*.jpg; do djpeg -outfile /dev/null "\$f"; done
for f in "$work"/pgm/*.pgm; do cjpeg -grayscale -quality 50 -outfile /dev/null "\$f"; done
FLOOR

hyperfine --style basic --runs "$runs" --warmup 1 --export-json "$work/times.json" \
  -n floor "taskset -c 0 bash $work/floor.sh" \
  -n one-worker "taskset -c 0 $quarnel -i $work/book -o $work/out -w" \
  -n all-cores "$quarnel -i $work/book -o $work/out -w" >&2

peak_kb=$(/usr/bin/time -v "$quarnel" -i "$work/book" -o "$work/out" -w 2>&1 >/dev/null |
  awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}')

python3 - "$work/times.json" "$peak_kb" "$(nproc)" <<'PY'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
floor = results["floor"]
print(f"floor (djpeg + cjpeg, one core): {floor:.3f} s")
print(f"one worker:  {results['one-worker']:.3f} s = {results['one-worker'] / floor:.2f} x floor (target <= 1.20)")
print(f"all {sys.argv[3]} cores: {results['all-cores']:.3f} s = {results['all-cores'] / floor:.2f} x floor (target <= 0.65)")
print(f"peak memory (all cores): {int(sys.argv[2]) / 1024:.0f} MiB")
PY
