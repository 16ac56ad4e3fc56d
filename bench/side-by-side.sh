#!/bin/sh
# A PNG of an exemplar (enlarged twice) beside the top left 256 x 256 of each output.
# Usage: bench/side-by-side.sh OUT.png EXEMPLAR.bmp OUTPUT.bmp...
set -eu
png=$1
exemplar=$2
shift 2
tiles=""
i=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for output in "$@"; do
    i=$((i + 1))
    /usr/bin/convert "$output" -crop 384x384+0+0 +repage "$scratch/$i.png"
    tiles="$tiles $scratch/$i.png"
done
# shellcheck disable=SC2086
/usr/bin/convert \( "$exemplar" -filter point -resize 200% \) $tiles -background white -splice 4x0 +append "$png"
