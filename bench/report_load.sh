#!/usr/bin/env bash
# How long a large book's HTML report takes to become usable in headless Chromium, and to sort
# its page table.
#
# Makes a book of PAGES scanned-looking pages once (bench/report_book.py: variants of the sample
# scans, each a page of its own; kept in build-bench/report-book-PAGES for the next runs), writes
# its report with -r, and loads the report RUNS times in a fresh headless Chromium
# (bench/report_load.py, which says what each figure is). Figures are in milliseconds from the
# start of the navigation; the last line holds the medians. The machine's load is printed before
# and after: the figures mean little when other work shares the cores.
#
# Usage: bench/report_load.sh [RUNS] [PAGES]     e.g. bench/report_load.sh 5 2000
# QUARNEL=PATH measures the report of that binary instead of this tree's (an older build, say);
# SAMPLES='DIR...' takes the scans from those folders (default: examples/book and, where it
# exists, ../shared/samples).
# Needs: cmake, g++, /usr/bin/python3 with Pillow and numpy (python3-pil, python3-numpy),
# chromium (CHROMIUM=PATH, default /usr/bin/chromium).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
pages=${2:-2000}
python=/usr/bin/python3
chromium=${CHROMIUM:-/usr/bin/chromium}
skip() { echo "report_load: skipped: $*" >&2; exit 0; }
[ -x "$python" ] || skip "needs $python"
"$python" -c 'import PIL, numpy' 2>/dev/null || skip "needs Pillow and numpy for $python"
[ -x "$chromium" ] || skip "needs chromium at $chromium (or CHROMIUM=PATH)"

if [ -z "${QUARNEL:-}" ]; then
  cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DQUARNEL_BUILD_TESTS=OFF \
    -DQUARNEL_BUILD_BENCH=ON >/dev/null
  cmake --build "$root/build-bench" -j2 --target quarnel >/dev/null
fi
quarnel=${QUARNEL:-$root/build-bench/quarnel}

samples=${SAMPLES:-$root/examples/book}
[ -n "${SAMPLES:-}" ] || [ ! -d "$root/../shared/samples" ] || samples+=" $root/../shared/samples"
book=$root/build-bench/report-book-$pages
if [ "$(find "$book" -maxdepth 1 -name '*.jpg' 2>/dev/null | wc -l)" -ne "$pages" ]; then
  rm -rf "$book"
  # shellcheck disable=SC2086  # the folders are words
  "$python" "$root/bench/report_book.py" $samples "$book" "$pages"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$quarnel" -i "$book/" -r "$work/report.html" >/dev/null
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$python" "$root/bench/report_load.py" "$work/report.html" "$runs" "$chromium"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
