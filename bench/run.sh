#!/usr/bin/env bash
# Whole-run benchmark against the floor of the job, on books of 60, 300 and 600 pages.
#
# A book of N pages is the sample pages copied in turn (p000, p001, ...): the five samples
# x 12, x 60 and x 120. Two floors, both on one core:
# - in-process: bench/floor_bench.cpp, libjpeg-turbo alone in one process decoding every input
#   page (colour to RGBX at an odd address, as the tool does) and encoding every output page
#   (gray, quality 50, the tool's output size); the median of RUNS passes;
# - djpeg + cjpeg: djpeg of each input and cjpeg -grayscale -quality 50 of each output page
#   (PGM), one after the other: the same work plus process starts and file formats.
# The tool runs with -w (whitening), on one worker (taskset -c 0) and on all cores; times are
# medians of RUNS runs (hyperfine), peak memory the maximum resident set size (/usr/bin/time).
# Each timed run starts after `sync`: the PGM files of the djpeg + cjpeg floor (1.4 GB for 300
# pages) and the pages of the run before would otherwise still be waiting for the disk, and the
# kernel would make the next run's writes wait for them.
#
# Usage: bench/run.sh [SAMPLES_DIR] [RUNS] [BOOK_SIZES]     e.g. bench/run.sh '' 5 '60 300'
# QUARNEL=PATH benchmarks that binary instead of this tree's (an older build, say).
# Needs: cmake, g++, libjpeg-turbo-progs (djpeg, cjpeg), hyperfine, time
#   apt-get install -y libjpeg-turbo-progs hyperfine time
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
samples=${1:-$root/../shared/samples}
runs=${2:-3}
sizes=${3:-60 300 600}
for tool in djpeg cjpeg hyperfine taskset /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (see the header of $0)" >&2; exit 1; }
done

cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DQUARNEL_BUILD_TESTS=OFF \
  -DQUARNEL_BUILD_BENCH=ON >/dev/null
cmake --build "$root/build-bench" -j"$(nproc)" --target quarnel quarnel_floor_bench >/dev/null
quarnel=${QUARNEL:-$root/build-bench/quarnel}
floor_bench=$root/build-bench/quarnel_floor_bench

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t pages < <(find "$samples" -maxdepth 1 -iname '*.jpg' | sort)
[ "${#pages[@]}" -gt 0 ] || { echo "no .jpg in $samples" >&2; exit 1; }

peak_mib() {  # peak resident memory of a command, in MiB
  /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -n 1 | awk '{printf "%.0f", $1 / 1024}'
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
results=$work/results.txt
for n in $sizes; do
  book=$work/book$n out=$work/out$n pgm=$work/pgm
  mkdir -p "$book" "$out" "$pgm"
  for i in $(seq 0 $((n - 1))); do
    cp "${pages[$((i % ${#pages[@]}))]}" "$book/$(printf 'p%03d.jpg' "$i")"
  done
  # One run for the output pages: the floors encode them again.
  "$quarnel" -i "$book/" -o "$out/" -w >/dev/null
  for f in "$out"/*.jpg; do djpeg -outfile "$pgm/$(basename "$f" .jpg).pgm" "$f"; done
  cat >"$work/floor.sh" <<FLOOR
for f in "$book"/*.jpg; do djpeg -outfile /dev/null "\$f"; done
for f in "$pgm"/*.pgm; do cjpeg -grayscale -quality 50 -outfile /dev/null "\$f"; done
FLOOR

  read -r _ _ _ decode encode floor _ _ < <(taskset -c 0 "$floor_bench" "$book" "$out" "$runs")
  warmup=$([ "$n" -le 60 ] && echo 1 || echo 0)
  hyperfine --style basic --runs "$runs" --warmup "$warmup" --prepare sync \
    --export-json "$work/times$n.json" \
    -n djpeg-cjpeg "taskset -c 0 bash $work/floor.sh" \
    -n one-worker "taskset -c 0 $quarnel -i $book/ -o $out/ -w" \
    -n all-cores "$quarnel -i $book/ -o $out/ -w" >&2
  rss_one=$(peak_mib taskset -c 0 "$quarnel" -i "$book/" -o "$out/" -w)
  rss_all=$(peak_mib "$quarnel" -i "$book/" -o "$out/" -w)
  echo "$n $decode $encode $floor $work/times$n.json $rss_one $rss_all" >>"$results"
  rm -rf "$pgm" "$out" "$book"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

python3 - "$results" "$(nproc)" <<'PY'
import json, sys
rows = [line.split() for line in open(sys.argv[1])]
print(f"pages | in-process floor (decode + encode) | djpeg+cjpeg | one worker | all {sys.argv[2]} cores"
      " | peak RSS one / all | per page, one worker")
base = None
for n, decode, encode, floor, times, rss_one, rss_all in rows:
    n, floor = int(n), float(floor)
    t = {r["command"]: r["median"] for r in json.load(open(times))["results"]}
    one, all_ = t["one-worker"], t["all-cores"]
    per_page = one / n * 1000
    base = base or per_page
    print(f"{n} | {floor:.3f} s ({float(decode):.3f} + {float(encode):.3f}) | "
          f"{t['djpeg-cjpeg']:.3f} s | {one:.3f} s = {one / floor:.2f} x | "
          f"{all_:.3f} s = {all_ / floor:.2f} x | {rss_one} / {rss_all} MiB | "
          f"{per_page:.1f} ms ({per_page / base:.2f} x the first book's)")
PY
