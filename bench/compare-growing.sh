#!/bin/sh
# Measures growing pictures (--extend): the photos in bench/exemplars/ grown by 32 pixels on every side by
# texsynth and, as a yardstick, by G'MIC's inpaint_matchpatch filling the same border; then a 4000 x 3000
# picture grown by 32 pixels beside fills of holes of the border's area and of one side's shape. Writes a
# Markdown section and side-by-side pictures (PNG).
# Usage: bench/compare-growing.sh BUILD_DIR MARKDOWN_OUT PICTURE_DIR
#   BUILD_DIR holds texsynth and bench/quality/texsynth-quality. Takes about five minutes.
# Installs GNU time, ImageMagick and G'MIC when missing (as root; otherwise it says what to install).
set -eu

sh "$(dirname "$0")/../scripts/install-deps.sh" --only time imagemagick gmic >&2

build=$1
markdown=$2
pictures=$3
here=$(cd "$(dirname "$0")/.." && pwd)
texsynth=$build/texsynth
quality=$build/bench/quality/texsynth-quality
border=32

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$pictures"
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

# Runs a command, its output kept in $scratch/report, and prints "wall cpu peak": seconds, user + system
# seconds (of the command and its children) and the peak resident memory of the largest process in MiB.
measured() {
    /usr/bin/time -f '%e %U %S %M' -o "$scratch/time" "$@" >"$scratch/report"
    awk '{ printf "%.2f %.2f %.0f", $1, $2 + $3, $4 / 1024 }' "$scratch/time"
}

# The edge z of each join of a picture W x H grown by B on every side (GROWN), as "left top right bottom":
# texsynth-quality --fill on the grown picture cut to the picture and one side's border, with that border as
# the hole. A join is a straight line of pairs, judged against the same line shifted into the picture.
joins() {
    grown=$1 w=$2 h=$3 b=$4
    for side in left top right bottom; do
        case $side in
        left) crop="$((b + w))x$h+0+$b" size="$((b + w))x$h" hole="0,0 $((b - 1)),$((h - 1))" ;;
        top) crop="${w}x$((b + h))+$b+0" size="${w}x$((b + h))" hole="0,0 $((w - 1)),$((b - 1))" ;;
        right) crop="$((b + w))x$h+$b+$b" size="$((b + w))x$h" hole="$w,0 $((w + b - 1)),$((h - 1))" ;;
        bottom) crop="${w}x$((b + h))+$b+$b" size="${w}x$((b + h))" hole="0,$h $((w - 1)),$((h + b - 1))" ;;
        esac
        /usr/bin/convert "$grown" -crop "$crop" +repage -type TrueColor BMP3:"$scratch/join.bmp"
        /usr/bin/convert -size "$size" xc:black -fill white -draw "rectangle $hole" -type TrueColor \
            BMP3:"$scratch/join-mask.bmp"
        "$quality" --threads=2 --fill "$scratch/join.bmp" "$scratch/join-mask.bmp" "$scratch/join.bmp" |
            tr ' ' '\n' | sed -n 's/^boundary_z=//p'
    done | awk '{ printf "%s%.2f", (NR > 1 ? " " : ""), $1 }'
}

# ---- Photos ---------------------------------------------------------------------------------------------

photo_table=$scratch/photos.md
{
    echo "| picture | method | seconds | CPU (s) | edge z left | top | right | bottom |"
    echo "|---|---|--:|--:|--:|--:|--:|--:|"
} >"$photo_table"

for name in wall-photo grass-photo paving-photo gravel-photo; do
    photo=$here/bench/exemplars/$name.png
    dims=$(/usr/bin/identify -format '%w %h' "$photo")
    # shellcheck disable=SC2086
    set -- $dims
    w=$1 h=$2
    # The untouched photo, its outer $border pixels taken as a border: what lines of pairs inside it score.
    echo "| $name | (the photo itself, its outer $border pixels as the border) | | | $(joins "$photo" $((w - 2 * border)) \
        $((h - 2 * border)) $border | sed 's/ / | /g') |" >>"$photo_table"

    ours=$scratch/$name-texsynth.png
    set -- $(measured "$texsynth" --quiet --extend=$border --output="$ours" "$photo")
    echo "| $name | **texsynth --extend=$border** | $1 | $2 | $(joins "$ours" "$w" "$h" $border | sed 's/ / | /g') |" \
        >>"$photo_table"
    echo "$name: texsynth $1 s" >&2

    # G'MIC fills the border of the photo laid on a black canvas.
    /usr/bin/convert "$photo" -bordercolor black -border $border -type TrueColor BMP3:"$scratch/canvas.bmp"
    /usr/bin/convert -size "$((w + 2 * border))x$((h + 2 * border))" xc:white -fill black \
        -draw "rectangle $border,$border $((w + border - 1)),$((h + border - 1))" -type TrueColor \
        BMP3:"$scratch/border.bmp"
    peer=$scratch/$name-gmic.png
    set -- $(measured sh "$here/scripts/peer-inpaint.sh" "$scratch/canvas.bmp" "$scratch/border.bmp" "$peer")
    seconds=$(sed -n 's/^wall_seconds=//p' "$scratch/report")
    echo "| $name | G'MIC inpaint_matchpatch | $seconds | $2 | $(joins "$peer" "$w" "$h" $border | sed 's/ / | /g') |" \
        >>"$photo_table"
    echo "$name: G'MIC $seconds s" >&2

    # The grown photo beside G'MIC's, the photo's place outlined in the third copy.
    /usr/bin/convert "$ours" -fill none -stroke magenta \
        -draw "rectangle $((border - 1)),$((border - 1)) $((w + border)),$((h + border))" "$scratch/outlined.png"
    /usr/bin/convert "$ours" "$peer" "$scratch/outlined.png" -background white -splice 8x0 +append \
        -define png:exclude-chunk=date,time "$pictures/grow-$name.png"
done

# ---- A large picture --------------------------------------------------------------------------------------

# The wall photo mirrored into a seamless 640 x 480 tile, repeated to 4000 x 3000, as for the large hole.
/usr/bin/convert "$here/bench/exemplars/wall-photo.png" \( +clone -flop \) +append \( +clone -flip \) -append \
    -write mpr:tile +delete -size 4000x3000 tile:mpr:tile -type TrueColor BMP3:"$scratch/large.bmp"
# A square hole of the border's area (672 x 672 = 451,584 pixels against 4064 x 3064 - 4000 x 3000 =
# 452,096), and a hole of the top border's shape, 4000 x 32, across the middle.
/usr/bin/convert -size 4000x3000 xc:black -fill white -draw "rectangle 1664,1164 2335,1835" \
    -type TrueColor BMP3:"$scratch/square.bmp"
/usr/bin/convert -size 4000x3000 xc:black -fill white -draw "rectangle 0,1484 3999,1515" \
    -type TrueColor BMP3:"$scratch/strip.bmp"
large_table=$scratch/large.md
{
    echo "| run | new pixels | seconds | CPU (s) | peak memory (MiB) |"
    echo "|---|--:|--:|--:|--:|"
} >"$large_table"
large_row() {
    label=$1 pixels=$2
    shift 2
    set -- $(measured "$@")
    echo "| $label | $pixels | $1 | $2 | $3 |" >>"$large_table"
    echo "large: $label $1 s" >&2
}
large_row "texsynth --extend=32 (4064 x 3064)" 452096 "$texsynth" --quiet --extend=32 --output="$scratch/out.bmp" \
    "$scratch/large.bmp"
large_row "texsynth --extend=0,32,0,0 (the top border alone)" 128000 "$texsynth" --quiet --extend=0,32,0,0 \
    --output="$scratch/out.bmp" "$scratch/large.bmp"
large_row "texsynth --mask, a 672 x 672 hole" 451584 "$texsynth" --quiet --mask="$scratch/square.bmp" \
    --output="$scratch/out.bmp" "$scratch/large.bmp"
large_row "texsynth --mask, a 4000 x 32 hole" 128000 "$texsynth" --quiet --mask="$scratch/strip.bmp" \
    --output="$scratch/out.bmp" "$scratch/large.bmp"

load_end=$(cut -d' ' -f1-3 /proc/loadavg)

{
    echo "### Pictures grown"
    echo
    echo "Made by \`bench/compare-growing.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'),"
    echo "$(nproc) CPUs; load average $load_start when it started, $load_end when it ended."
    echo
    echo "#### Photos grown by $border pixels on every side"
    echo
    echo "texsynth: \`texsynth --extend=$border --output=RESULT PHOTO\` (its defaults, every core). G'MIC: the photo on a"
    echo "black canvas $((2 * border)) pixels wider and taller, its border filled by \`scripts/peer-inpaint.sh\` (one thread)."
    echo "Edge z: for each side, \`texsynth-quality --fill\` on the grown picture cut to the photo and that side's"
    echo "border, with the border as the hole: how much the join stands out against the same line of pairs shifted"
    echo "into the photo (below 2 in size: like any other line; well below 0: smoother than the photo, a blurred"
    echo "border). The rows in brackets score lines of pairs inside the untouched photo the same way."
    echo
    cat "$photo_table"
    echo
    echo "#### The time follows the border"
    echo
    echo "The wall photo mirrored and repeated to 4000 x 3000 (files included). The border's parts take their"
    echo "candidates from strips of the picture along its edges, so the picture's size costs only the reading and"
    echo "writing of its files. A fill of a square hole of the border's area has a join a fifth as long (2,688"
    echo "pixels against 14,000), and the pixels at a join search every candidate; a fill of a hole of one side's"
    echo "shape has to take its candidates from a region around the whole hole."
    echo
    cat "$large_table"
    echo
    echo "Each photo grown by texsynth, by G'MIC, and texsynth's again with the photo outlined:"
    echo
    for picture in "$pictures"/grow-*.png; do
        name=${picture##*/}
        echo "![${name%.png}]($picture)"
        echo
    done
} >"$markdown"
