#!/bin/sh
# Makes the README's pictures from the shipped exemplars and photos: textures beside their exemplars, and a
# hole filled, a photo made tileable and a photo grown. Needs ImageMagick (/usr/bin/convert).
# Usage: bench/readme-pictures.sh BUILD_DIR [PICTURE_DIR]   (PICTURE_DIR defaults to bench/pictures)
set -eu

build=$1
here=$(cd "$(dirname "$0")/.." && pwd)
pictures=${2:-$here/bench/pictures}
texsynth=$build/texsynth
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
convert=/usr/bin/convert
png="-define png:exclude-chunk=date,time"

# Each exemplar at its own size on the left, a 512 x 256 texture of it on the right.
rows=""
for exemplar in "$here/bench/exemplars/stone.png" "$here/bench/exemplars/wood.png" "$here/demo/demo2.bmp"; do
    name=$(basename "$exemplar" | sed 's/\..*//')
    "$texsynth" --quiet --size=512x256 --output="$scratch/$name.png" "$exemplar" >/dev/null
    $convert \( "$exemplar" -background white -gravity north -extent 136x256 \) "$scratch/$name.png" +append \
        "$scratch/row-$name.png"
    rows="$rows $scratch/row-$name.png"
done
# shellcheck disable=SC2086
$convert $rows -background white -splice 0x8 -append $png "$pictures/readme-textures.png"

# The wall photo with a hole (magenta), filled; then the photo and the photo made tileable, each as 2 x 2 copies.
photo=$here/bench/exemplars/wall-photo.png
mask=$here/bench/exemplars/masks/blob-320x240.png
"$texsynth" --quiet --mask="$mask" --output="$scratch/filled.png" "$photo" >/dev/null
"$texsynth" --quiet --make-tileable --output="$scratch/tiled.png" "$photo" >/dev/null
$convert "$photo" \( "$mask" -negate \) -alpha off -compose copy_opacity -composite -background magenta \
    -compose over -flatten "$scratch/holed.png"
for picture in photo tiled; do
    source=$scratch/tiled.png
    [ "$picture" = photo ] && source=$photo
    $convert \( "$source" "$source" +append \) \( "$source" "$source" +append \) -append -resize 50% \
        "$scratch/four-$picture.png"
done
$convert "$scratch/holed.png" "$scratch/filled.png" -background white -splice 8x0 +append "$scratch/fill.png"
$convert "$scratch/four-photo.png" "$scratch/four-tiled.png" -background white -splice 8x0 +append "$scratch/tile.png"
$convert "$scratch/fill.png" "$scratch/tile.png" -background white -splice 0x8 -append $png \
    "$pictures/readme-fill-tile.png"

# The wall photo on a canvas as large as it grows, and grown by 40 pixels on every side.
"$texsynth" --quiet --extend=40 --output="$scratch/grown.png" "$photo" >/dev/null
$convert "$photo" -bordercolor white -border 40 "$scratch/placed.png"
$convert "$scratch/placed.png" "$scratch/grown.png" -background white -splice 8x0 +append $png \
    "$pictures/readme-grow.png"
