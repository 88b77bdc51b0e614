#!/usr/bin/env bash
# Writes the seed corpus that fuzz/run.sh starts from: small JPEG files of every coding the reader
# meets (gray, the usual samplings, RGB, progressive, restart markers, arithmetic coding, odd sizes)
# and a few command lines with their arguments separated by NUL bytes. The files are committed;
# run this again only to change them. Needs cjpeg and jpegtran (Debian: libjpeg-turbo-progs).
set -euo pipefail
cd "$(dirname "$0")"
jpeg=corpus/jpeg_reader
args=corpus/command_line
rm -rf "$jpeg" "$args"
mkdir -p "$jpeg" "$args"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A picture of w x h pixels with dark strokes on light paper, as PGM and PPM.
picture() {
  local w=$1 h=$2
  { printf 'P5 %d %d 255\n' "$w" "$h"
    head -c $((w * h)) /dev/urandom | tr '\000-\377' '\377\200\377\377\40\377\377\377'; } >"$work/$w.pgm"
  { printf 'P6 %d %d 255\n' "$w" "$h"
    head -c $((3 * w * h)) /dev/urandom | tr '\000-\377' '\377\200\377\377\40\377\377\377'; } >"$work/$w.ppm"
}
picture 1 1
picture 17 9
picture 33 65

cjpeg -grayscale -outfile "$jpeg/gray-17x9.jpg" "$work/17.pgm"
cjpeg -outfile "$jpeg/gray-1x1.jpg" "$work/1.pgm"
for s in 1x1 2x1 2x2 1x2 4x1; do
  cjpeg -sample "$s" -outfile "$jpeg/colour-$s-33x65.jpg" "$work/33.ppm"
done
cjpeg -rgb -outfile "$jpeg/rgb-17x9.jpg" "$work/17.ppm"
cjpeg -progressive -outfile "$jpeg/progressive-33x65.jpg" "$work/33.ppm"
cjpeg -grayscale -progressive -outfile "$jpeg/gray-progressive-33x65.jpg" "$work/33.pgm"
cjpeg -restart 1 -outfile "$jpeg/restarts-33x65.jpg" "$work/33.ppm"
cjpeg -arithmetic -outfile "$jpeg/arithmetic-33x65.jpg" "$work/33.ppm"
jpegtran -arithmetic -progressive -outfile "$jpeg/arithmetic-progressive-17x9.jpg" "$jpeg/rgb-17x9.jpg"
cjpeg -optimize -quality 100 -outfile "$jpeg/optimized-17x9.jpg" "$work/17.ppm"
# The gray page with an EXIF block after its start: Motorola byte order, orientation 1 (stored
# upright, so any reader decodes it alike), 300 x 300 dots per inch.
{ head -c 2 "$jpeg/gray-17x9.jpg"
  printf '\xff\xe1\x00\x56Exif\x00\x00MM\x00\x2a\x00\x00\x00\x08\x00\x04'
  printf '\x01\x12\x00\x03\x00\x00\x00\x01\x00\x01\x00\x00\x01\x1a\x00\x05\x00\x00\x00\x01\x00\x00\x00\x3e'
  printf '\x01\x1b\x00\x05\x00\x00\x00\x01\x00\x00\x00\x46\x01\x28\x00\x03\x00\x00\x00\x01\x00\x02\x00\x00'
  printf '\x00\x00\x00\x00\x00\x00\x01\x2c\x00\x00\x00\x01\x00\x00\x01\x2c\x00\x00\x00\x01'
  tail -c +3 "$jpeg/gray-17x9.jpg"; } >"$jpeg/exif-upright-17x9.jpg"
# A blank A4 page at 300 dpi, arithmetic-coded: its data ends long before the image, which is
# legal (the decoder supplies zeros), so a page of 8.7 megapixels takes a few hundred bytes.
{ printf 'P5 2480 3508 255\n'; head -c $((2480 * 3508)) /dev/zero | tr '\000' '\377'; } >"$work/a4.pgm"
cjpeg -arithmetic -outfile "$jpeg/blank-a4-arithmetic.jpg" "$work/a4.pgm"

seed() { local name=$1; shift; printf '%s\0' "$@" >"$args/$name"; }
seed all -i in -o out -b 100 -w 200 -n 3 -z
seed optional -w -n -z -o out
seed version -input a -version
seed range -b -5 -w 257
seed quality -o out -q 90 -q 101
seed help -i in --help
seed answers --version -hx -v

