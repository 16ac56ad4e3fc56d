#!/bin/sh
# Draws the hole masks for the fill benchmarks: white (the hole) on black, 8-bit grey PNG without date
# chunks, every shape a fixed fraction of the picture's size, so the same size always gives the same bytes.
# Usage: bench/make-masks.sh W H OUT_DIR
# Writes OUT_DIR/rect-WxH.png (a rectangle, about 10 % of the picture), OUT_DIR/blob-WxH.png (an irregular
# polygon, about 15 %) and OUT_DIR/stroke-WxH.png (a thick wavy stroke, as left by removing a wire, about
# 5 %), and prints each file's hole share.
set -eu

if [ $# -ne 3 ]; then
    echo "usage: $0 W H OUT_DIR" >&2
    exit 2
fi
width=$1
height=$2
dir=$3
mkdir -p "$dir"

# Points given as fractions of the width and height, turned into pixels.
points() {
    echo "$*" | awk -v w="$width" -v h="$height" '{
        for (i = 1; i < NF; i += 2) printf "%s%d,%d", (i > 1 ? " " : ""), $i * w + 0.5, $(i + 1) * h + 0.5
    }'
}
side=$((width < height ? width : height))

draw() {
    name=$1
    shift
    /usr/bin/convert -size "${width}x$height" xc:black +antialias "$@" -colorspace Gray -depth 8 \
        -define png:exclude-chunk=date,time -type Grayscale PNG8:"$dir/$name-${width}x$height.png"
    share=$(/usr/bin/convert "$dir/$name-${width}x$height.png" -format '%[fx:mean]' info:)
    echo "$name-${width}x$height.png hole_share=$share"
}

draw rect -fill white -draw "rectangle $(points 0.33 0.36 0.64 0.68)"
draw blob -fill white -draw "polygon $(points 0.50 0.22 0.61 0.30 0.74 0.27 0.70 0.45 0.78 0.62 0.60 0.64 \
    0.52 0.80 0.42 0.66 0.26 0.70 0.31 0.52 0.22 0.38 0.40 0.36)"
draw stroke -fill none -stroke white -strokewidth $((side / 20 > 2 ? side / 20 : 2)) -draw "stroke-linejoin round \
    path 'M $(points 0.10 0.30 | tr ' ' ' ') L $(points 0.28 0.22 0.45 0.40 0.60 0.55 0.78 0.50 0.92 0.70)'"
