#!/usr/bin/env bash
# Runs quarnel on every book of a shelf, several books at a time (xargs -P).
#   examples/shelf.sh [-j JOBS] SHELF [QUARNEL OPTIONS...]
# SHELF is a folder of book folders (or links to folders), each holding one book's .jpg pages.
# Book SHELF/B is written to SHELF/B.out/ (made when missing): its pages, quarnel.log (the run's
# standard output and error) and report.csv, the table of every page's box. Folders whose names
# end in .out are outputs, not books, so the script can run again over the same shelf. The
# QUARNEL OPTIONS go to every run (-w 160, -q 85, ...), but for a report named with -r NAME
# (or -report NAME: quarnel reads any option word starting with -r as -r), which each book
# writes to its own SHELF/B.out/NAME instead of report.csv (NAME's last component: one name for
# every book). quarnel is $QUARNEL, else the one on PATH.
# JOBS books run at once (default: the number of CPUs this script may use), each pinned to one
# of those CPUs with taskset, so that JOBS runs use JOBS cores and one worker each.
# Prints a line for each book as it ends; exits 1 naming the books that failed, 2 on a usage
# error.
set -euo pipefail

usage() {
  echo "usage: $0 [-j JOBS] SHELF [QUARNEL OPTIONS...]" >&2
  exit 2
}

jobs=""
if [[ "${1:-}" == -j ]]; then
  [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || usage
  jobs="$2"
  shift 2
fi
[[ $# -ge 1 && -d "$1" ]] || usage
shelf="${1%/}"
# A shelf named "-..." gets a leading ./, so that find reads it as a folder, not an option.
if [[ "$shelf" == -* ]]; then shelf="./$shelf"; fi
shift

# The options for every run, less -r and its value: quarnel takes the next argument as the
# value of -i, -o, -b, -q and -r, and of -w and -n when it does not start with "-"; a word that
# starts with "-" and is no value is an option, picked by its second character.
report="report.csv"
options=()
while (($# > 0)); do
  words=1 # the option and its value, if it takes one
  case "$1" in
    -r*)
      (($# >= 2)) || usage
      report="${2##*/}"
      [[ -n "$report" && "$report" != . && "$report" != .. ]] || usage
      shift 2
      continue
      ;;
    -[iobq]*) (($# < 2)) || words=2 ;;
    -[wn]*) (($# < 2)) || [[ "$2" == -* ]] || words=2 ;;
  esac
  options+=("${@:1:words}")
  shift "$words"
done
export SHELF_REPORT="$report"

export QUARNEL="${QUARNEL:-quarnel}"
command -v "$QUARNEL" >/dev/null || { echo "$0: no quarnel binary: $QUARNEL" >&2; exit 2; }

# The CPUs this script may run on, from its affinity list ("0-3,6" gives 0 1 2 3 6).
cpus=()
if list="$(taskset -cp $$ 2>/dev/null)"; then
  list="${list##*: }"
  for range in ${list//,/ }; do
    for ((cpu = ${range%-*}; cpu <= ${range#*-}; ++cpu)); do cpus+=("$cpu"); done
  done
fi
jobs="${jobs:-${#cpus[@]}}"
[[ "$jobs" -ge 1 ]] || jobs="$(nproc)"
export SHELF_CPUS="${cpus[*]}"

failed="$(mktemp)"
trap 'rm -f "$failed"' EXIT
export SHELF_FAILED="$failed"

# One book: run_book QUARNEL_OPTIONS... BOOK (xargs puts the book last).
run_book() {
  local book="${*: -1}" status=0
  local out="$book.out" options=("${@:1:$#-1}") pin=()
  local cpus=()
  read -ra cpus <<<"$SHELF_CPUS"
  if ((${#cpus[@]} > 0)); then pin=(taskset -c "${cpus[SHELF_SLOT % ${#cpus[@]}]}"); fi
  mkdir -p "$out"
  "${pin[@]}" "$QUARNEL" -i "$book" -o "$out" "${options[@]}" -r "$out/$SHELF_REPORT" \
    >"$out/quarnel.log" 2>&1 || status=$?
  if ((status == 0)); then
    echo "done: $book"
  else
    echo "FAILED (status $status): $book, see $out/quarnel.log"
    # NUL after each name: a book's name may hold a line feed.
    printf '%s\0' "${book##*/}" >>"$SHELF_FAILED"
  fi
}
export -f run_book

# The books, NUL-separated, sorted: the folders in the shelf and the links to folders (-L: a
# link is followed), but not the outputs.
list_books() {
  find -L "$shelf" -mindepth 1 -maxdepth 1 -type d ! -name '*.out' -print0 | sort -z
}
books="$(list_books | tr -cd '\0' | wc -c)"
((books > 0)) || { echo "$0: no book folder in $shelf" >&2; exit 1; }

status=0
list_books | xargs -0 -n 1 -P "$jobs" --process-slot-var=SHELF_SLOT \
  bash -c 'run_book "$@"' run_book "${options[@]}" || status=$?
# xargs gives 123 when a run failed; run_book never does, so any status means xargs failed.
((status == 0)) || { echo "$0: xargs failed (status $status)" >&2; exit 2; }

if [[ -s "$failed" ]]; then
  mapfile -d '' -t names <"$failed"
  # %q: a name with a blank or a line feed is written quoted, so each name stays one word.
  echo "$0: ${#names[@]} of $books books failed:$(printf ' %q' "${names[@]}")" >&2
  exit 1
fi
echo "all $books books done"
