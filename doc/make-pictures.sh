#!/usr/bin/env bash
# Makes the pictures of the README's "Choosing settings" from the bundled pages:
#   doc/make-pictures.sh [QUARNEL]
# QUARNEL is a built quarnel binary (default: build/quarnel). The boxes are the tool's own: each
# picture runs it with the settings shown and reads the boxes from its CSV report. Needs
# ImageMagick's convert (apt-get install imagemagick) and the DejaVu fonts (fonts-dejavu-core).
# Writes, over the files that are there:
#   doc/settings-b.jpg  one page's box at -b 60, 120 (the default) and 200, and the pixels that
#                       count as content
#   doc/settings-n.jpg  specks that stretch a box at -b 140, passed over with -n
#   doc/settings-w.jpg  a piece of a written page without -w, with -w (200) and with -w 160
#   doc/settings-s.jpg  a camera page on a dark ground: its box without and with -s
set -euo pipefail

# A binary named on the command line is found from the folder the script was called in.
quarnel="${1:-}"
[[ -z "$quarnel" || "$quarnel" == /* ]] || quarnel="$PWD/$quarnel"
cd "$(dirname "$0")/.."
quarnel="${quarnel:-build/quarnel}"
[[ -x "$quarnel" ]] || { echo "$0: no quarnel binary at $quarnel (build it first)" >&2; exit 2; }
command -v convert >/dev/null || { echo "$0: needs ImageMagick's convert" >&2; exit 2; }

book=examples/book
camera=examples/camera
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

box_colour='#d01c1c'   # the content box
sheet_colour='#1a9e3a' # the sheet found by -s
mark_colour='#1f5fd6'  # the pixels that count as content, circles around specks
font=DejaVu-Sans

# The pictures show the gray values of a page as ImageMagick's Rec. 601 luma, which is near
# enough the tool's own, (77 R + 150 G + 29 B) >> 8, for a picture.

# percent SCALE: SCALE (0.25) as ImageMagick's resize argument (25%).
percent() {
  awk -v s="$1" 'BEGIN { print s * 100 "%" }'
}

# report FOLDER CSV OPTIONS...: runs quarnel on FOLDER with OPTIONS, writing the report to CSV.
report() {
  local folder="$1" csv="$2"
  shift 2
  "$quarnel" -i "$folder" "$@" -r "$csv" >/dev/null
}

# field CSV PAGE COLUMN...: the named columns of the page's line in a report, blank-separated.
# Columns are found by the header's names, so columns added at the end do not matter.
field() {
  local csv="$1" page="$2"
  shift 2
  awk -F, -v page="$page" -v want="$*" '
    NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
    $2 == page {
      n = split(want, names, " ")
      line = ""
      for (i = 1; i <= n; i++) line = line (i > 1 ? " " : "") $column[names[i]]
      print line
    }' "$csv"
}

# rectangle CSV PAGE SCALE PREFIX: the -draw primitive of a box of the report, scaled: the
# columns PREFIX left, PREFIX top, ... ("" for the content box, "sheet_" for the sheet). Right
# and bottom are exclusive in the report, so the box's last pixel is one less.
rectangle() {
  local l t r b
  read -r l t r b < <(field "$1" "$2" "${4}left" "${4}top" "${4}right" "${4}bottom")
  awk -v l="$l" -v t="$t" -v r="$r" -v b="$b" -v s="$3" \
    'BEGIN { printf "rectangle %d,%d %d,%d", l * s + 1, t * s + 1, (r - 1) * s - 1, (b - 1) * s - 1 }'
}

# label IMAGE TEXT OUT: IMAGE with TEXT on a white band above it and a white border around.
label() {
  convert "$1" -background white -fill black -font "$font" -pointsize 17 -gravity center \
    label:"$2" +swap -append -bordercolor white -border 8 "$3"
}

# --- -b: what counts as content ---------------------------------------------------------------
# p0006: at 60 only the darkest print counts and the box leaves out the lighter lines at the
# bottom; at 120 the box holds the text; at 200 the paper itself counts: the whole page.
page=p0006.jpg
scale=0.22
panels=()
for black in 60 120 200; do
  report "$book" "$work/b$black.csv" -b "$black"
  caption="-b $black"
  [[ "$black" == 120 ]] && caption="-b 120 (default)"
  # The pixels below black, which count as content, painted in the mark colour.
  threshold="$(awk -v b="$black" 'BEGIN { print (b - 0.5) / 255 * 100 }')%"
  convert "$book/$page" \( +clone -fill "$mark_colour" -colorize 100 \) \
    \( "$book/$page" -grayscale Rec601Luma -threshold "$threshold" -negate \) -composite \
    -resize "$(percent $scale)" -fill none -stroke "$box_colour" -strokewidth 3 \
    -draw "$(rectangle "$work/b$black.csv" "$page" "$scale" "")" "$work/b$black.png"
  label "$work/b$black.png" "$caption" "$work/b$black-labelled.png"
  panels+=("$work/b$black-labelled.png")
done
convert "${panels[@]}" +append -strip -quality 80 doc/settings-b.jpg

# --- -n: specks passed over -------------------------------------------------------------------
# p0006 at -b 140 (lighter print counts too): a few stray dark pixels in the margins pull the
# box out to the left and bottom edges of the page; -n passes over them. The specks, the dark
# pixels inside the box without -n but outside the box with -n, are circled in both panels.
page=p0006.jpg
scale=0.25
report "$book" "$work/n0.csv" -b 140
report "$book" "$work/n10.csv" -b 140 -n
read -r nl nt nr nb < <(field "$work/n10.csv" "$page" left top right bottom)
circles="$(convert "$book/$page" -grayscale Rec601Luma -depth 8 txt:- |
  awk -F'[ ,:()]+' -v l="$nl" -v t="$nt" -v r="$nr" -v b="$nb" -v s=$scale '
    NR > 1 && $4 < 140 && ($1 < l || $1 >= r || $2 < t || $2 >= b) {
      x = int($1 * s); y = int($2 * s)
      key = int(x / 4) "," int(y / 4)  # one circle for the pixels of one speck
      if (!(key in seen)) { seen[key] = 1; printf "circle %d,%d %d,%d ", x, y, x + 9, y }
    }')"
panels=()
for n in 0 10; do
  caption="-b 140"
  [[ "$n" == 10 ]] && caption="-b 140 -n"
  convert "$book/$page" -resize "$(percent $scale)" \
    -fill none -stroke "$mark_colour" -strokewidth 2 -draw "$circles" \
    -stroke "$box_colour" -strokewidth 3 -draw "$(rectangle "$work/n$n.csv" "$page" "$scale" "")" \
    "$work/n$n.png"
  label "$work/n$n.png" "$caption" "$work/n$n-labelled.png"
  panels+=("$work/n$n-labelled.png")
done
convert "${panels[@]}" +append -strip -quality 80 doc/settings-n.jpg

# --- -w: the background whitened --------------------------------------------------------------
# The same piece of the written p0002 (canvas coordinates), at full size: grey paper and print
# showing through from the other side of the leaf; -w turns what lies away from the print white.
page=p0002.jpg
panels=()
for white in off 200 160; do
  mkdir -p "$work/w$white"
  options=()
  [[ "$white" == 200 ]] && options=(-w)
  [[ "$white" == 160 ]] && options=(-w 160)
  "$quarnel" -i "$book" -o "$work/w$white" "${options[@]}" >/dev/null
  caption="without -w"
  [[ "$white" == 200 ]] && caption="-w (200)"
  [[ "$white" == 160 ]] && caption="-w 160"
  # A grey frame, so that the whitened pieces do not run into the white around them.
  convert "$work/w$white/$page" -crop 300x230+300+380 +repage -bordercolor '#999999' -border 1 \
    "$work/w$white.png"
  label "$work/w$white.png" "$caption" "$work/w$white-labelled.png"
  panels+=("$work/w$white-labelled.png")
done
convert "${panels[@]}" +append -strip -quality 80 doc/settings-w.jpg

# --- -s: the sheet on a dark ground -----------------------------------------------------------
# A camera page: without -s the ground and the page stack count, and the box is the whole
# image; with -s the box holds the text, on the sheet found (dashed).
page=eiteritz_affe_1719-0206.jpg
scale=0.3
report "$camera" "$work/s0.csv"
report "$camera" "$work/s1.csv" -s
convert "$camera/$page" -resize "$(percent $scale)" -fill none -stroke "$box_colour" -strokewidth 3 \
  -draw "$(rectangle "$work/s0.csv" "$page" "$scale" "")" "$work/s0.png"
label "$work/s0.png" "without -s" "$work/s0-labelled.png"
convert "$camera/$page" -resize "$(percent $scale)" -fill none \
  -stroke "$sheet_colour" -strokewidth 3 \
  -draw "stroke-dasharray 8 5 $(rectangle "$work/s1.csv" "$page" "$scale" sheet_)" \
  -stroke "$box_colour" \
  -draw "$(rectangle "$work/s1.csv" "$page" "$scale" "")" "$work/s1.png"
label "$work/s1.png" "with -s" "$work/s1-labelled.png"
convert "$work/s0-labelled.png" "$work/s1-labelled.png" +append -strip -quality 80 \
  doc/settings-s.jpg

ls -l doc/settings-[bnws].jpg
