#!/bin/sh
# Measures texsynth beside its peers, in one session: textures from every exemplar (demo/ and
# bench/exemplars/) by texsynth (the finished-file form's default, and --match=coherent --passes=2, on two
# threads), G'MIC's syntexturize_matchpatch and the GIMP texturize plug-in; holes filled in the photos and the
# demo exemplars by texsynth (--mask) and G'MIC's inpaint_matchpatch; and the photos made tileable by texsynth
# (--make-tileable). Writes the tables as Markdown and side-by-side pictures (PNG).
# Usage: bench/compare-peers.sh BUILD_DIR MARKDOWN_OUT PICTURE_DIR [SIZE]
#   BUILD_DIR holds texsynth and bench/quality/texsynth-quality; SIZE (default 512) is the side of every
#   synthesized texture. Takes about twenty minutes, most of it GIMP's start-ups and the large hole.
#   For a quicker look, COMPARE_EXEMPLARS and COMPARE_FILLS name a selection of the exemplars and of the
#   pictures with holes (the defaults are listed below; an empty list leaves that part out), and
#   COMPARE_LARGE=0 leaves out the large hole (a minute or two).
# The peer scripts install G'MIC, GIMP, the plug-in and ImageMagick when missing, and this script GNU time and
# ImageMagick (as root; otherwise they say what to install).
set -eu

sh "$(dirname "$0")/../scripts/install-deps.sh" --only time imagemagick >&2

build=$1
markdown=$2
pictures=$3
size=${4:-512}
here=$(cd "$(dirname "$0")/.." && pwd)
texsynth=$build/texsynth
quality=$build/bench/quality/texsynth-quality
matrix="3 2 1 1 0 2 1 0 0 2"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$pictures"
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

# Runs a command, its output discarded, and prints "wall cpu" in seconds (cpu: user + system, of the
# command and its children).
timed() {
    /usr/bin/time -f '%e %U %S' -o "$scratch/time" "$@" >/dev/null
    awk '{ printf "%.2f %.2f", $1, $2 + $3 }' "$scratch/time"
}

# Runs a command, its output kept in $scratch/report, and prints "cpu peak" (user + system seconds, of the
# command and its children, and the peak resident memory of the largest process in MiB).
measured() {
    /usr/bin/time -f '%U %S %M' -o "$scratch/time" "$@" >"$scratch/report"
    awk '{ printf "%.2f %.0f", $1 + $2, $3 / 1024 }' "$scratch/time"
}

# A value from a line of name=value pairs.
field() {
    echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"
}

# 24-bit BMP copies of every exemplar, under its short name.
exemplars=${COMPARE_EXEMPLARS-demo2 bricks cork stone wood grass grate tiles gravel}
fills=${COMPARE_FILLS-wall-photo grass-photo paving-photo gravel-photo demo2 bricks cork}
for name in demo2 bricks cork; do
    cp "$here/demo/$name.bmp" "$scratch/$name.bmp"
done
for name in stone wood grass grate tiles gravel; do
    /usr/bin/convert "$here/bench/exemplars/$name.png" -type TrueColor BMP3:"$scratch/$name.bmp"
done

# ---- Textures -------------------------------------------------------------------------------------------

texture_table=$scratch/textures.md
exemplar_table=$scratch/exemplars.md
{
    echo "| exemplar | method | seconds | GIMP start-up (s) | CPU (s) | seam z columns | seam z rows | coherence mean | completeness | repeat share | histogram | block ratio 2 | block ratio 4 | blocks |"
    echo "|---|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|---|"
} >"$texture_table"
{
    echo "| exemplar | size | block ratio 2 | block ratio 4 |"
    echo "|---|---|--:|--:|"
} >"$exemplar_table"

# One table row: exemplar, method, seconds, start-up, CPU, then the quality figures of OUTPUT; the repeat share
# from the source map MAP if given (texsynth's), else from the pixels.
texture_row() {
    map_option=""
    [ -n "${7:-}" ] && map_option="--map=$7"
    # shellcheck disable=SC2086
    figures=$("$quality" --threads=2 $map_option "$scratch/$1.bmp" "$6")
    echo "$figures" >"$6.figures"
    echo "$figures" | awk -v e="$1" -v m="$2" -v s="$3" -v u="$4" -v c="$5" '{
        for (i = 1; i <= NF; ++i) { split($i, kv, "="); f[kv[1]] = kv[2] }
        ok2 = f["block_ratio"] <= 1.05 * (f["exemplar_block_ratio"] > 1 ? f["exemplar_block_ratio"] : 1)
        ok4 = f["block_ratio_4"] <= 1.05 * (f["exemplar_block_ratio_4"] > 1 ? f["exemplar_block_ratio_4"] : 1)
        printf "| %s | %s | %s | %s | %s | %.2f | %.2f | %.2f | %.3f | %.3f | %.2f | %.3f | %.3f | %s |\n", e, m, s, u,
               c, f["seam_z_columns"], f["seam_z_rows"], f["coherence_mean"], f["completeness"], f["repeat_share"],
               f["histogram"], f["block_ratio"], f["block_ratio_4"], (ok2 && ok4) ? "pass" : "FAIL"
    }' >>"$texture_table"
}

for name in $exemplars; do
    input=$scratch/$name.bmp
    dims=$(/usr/bin/identify -format '%w %h' "$input")
    side=$(echo "$dims" | awk '{ print $1 < $2 ? $1 : $2 }')

    # texsynth: the finished-file form's default, then the coherent mode with the default matrix.
    out=$scratch/$name-texsynth.bmp
    set -- $(timed "$texsynth" --quiet --threads=2 --size="${size}x${size}" --output="$out" "$input")
    # The source map of the same run (the same bytes), for the repeat share.
    "$texsynth" --quiet --threads=2 --size="${size}x${size}" --save-map="$scratch/$name-map.png" --output="$out" \
        "$input" >/dev/null
    texture_row "$name" "**texsynth (default: --match=refined --passes=3), 2 threads**" "$1" "" "$2" "$out" \
        "$scratch/$name-map.png"
    echo "$name texsynth: $1 s" >&2

    out=$scratch/$name-coherent
    # shellcheck disable=SC2086
    set -- $(timed "$texsynth" --quiet --match=coherent --passes=2 --threads=2 "$input" "$out" "$size" "$size" \
        $matrix)
    texture_row "$name" "texsynth --match=coherent --passes=2 (L = 3), 2 threads" "$1" "" "$2" "${out}_0.bmp"
    echo "$name coherent: $1 s" >&2

    # G'MIC: the script's own time is G'MIC's; the CPU time is the script's.
    peer=$scratch/$name-gmic.bmp
    set -- $(measured sh "$here/scripts/peer-texture.sh" "$input" "$size" "$size" "$peer")
    seconds=$(sed -n 's/^wall_seconds=//p' "$scratch/report")
    texture_row "$name" "G'MIC syntexturize_matchpatch, 1 thread" "$seconds" "" "$1" "$peer"
    echo "$name G'MIC: $seconds s" >&2

    # GIMP: the dialog's default overlap, and on small exemplars three quarters of the side.
    overlaps="default"
    if [ "$side" -le 128 ]; then
        overlaps="default $((side * 3 / 4))"
    fi
    best=""
    best_coherence=""
    for overlap in $overlaps; do
        gimp=$scratch/$name-gimp-$overlap.bmp
        if [ "$overlap" = default ]; then
            report=$(sh "$here/scripts/peer-gimp-texturize.sh" "$input" "$size" "$size" "$gimp")
        else
            report=$(sh "$here/scripts/peer-gimp-texturize.sh" "$input" "$size" "$size" "$gimp" "$overlap")
        fi
        used=$(echo "$report" | sed -n 's/^overlap=//p')
        texturize=$(echo "$report" | sed -n 's/^texturize_seconds=//p')
        startup=$(echo "$report" | sed -n 's/^startup_seconds=//p')
        texturize_cpu=$(echo "$report" | sed -n 's/^texturize_cpu_seconds=//p')
        label="GIMP texturize, overlap $used"
        [ "$overlap" = default ] && label="$label (default)"
        texture_row "$name" "$label" "$texturize" "$startup" "$texturize_cpu" "$gimp"
        coherence=$(field "$(cat "$gimp.figures")" coherence_mean)
        if [ -z "$best" ] || awk -v a="$coherence" -v b="$best_coherence" 'BEGIN { exit !(a < b) }'; then
            best=$gimp
            best_coherence=$coherence
            best_label=$label
        fi
        echo "$name GIMP overlap $used: $texturize s (+ $startup s start-up)" >&2
    done
    if [ "$overlaps" != default ]; then
        # Mark the better of the two GIMP rows: the lower coherence mean.
        sed -i "s/^| $name | $best_label |/| $name | **$best_label, the better** |/" "$texture_table"
    fi
    cp "$best" "$scratch/$name-gimp.bmp"

    exemplar_figures=$(cat "$scratch/$name-gmic.bmp.figures")
    ratio2=$(field "$exemplar_figures" exemplar_block_ratio)
    ratio4=$(field "$exemplar_figures" exemplar_block_ratio_4)
    echo "| $name | $(echo "$dims" | tr ' ' x) | $ratio2 | $ratio4 |" >>"$exemplar_table"

    # The exemplar enlarged twice, then the top left 256 x 256 of texsynth's default output, G'MIC's and
    # GIMP's (the better overlap).
    tiles=""
    for kind in texsynth gmic gimp; do
        /usr/bin/convert "$scratch/$name-$kind.bmp" -crop 256x256+0+0 +repage "$scratch/tile-$kind.png"
        tiles="$tiles $scratch/tile-$kind.png"
    done
    # shellcheck disable=SC2086
    /usr/bin/convert \( "$input" -filter point -resize 200% \) $tiles -background white -splice 4x0 +append \
        -define png:exclude-chunk=date,time "$pictures/texture-$name.png"
done

# ---- Holes ----------------------------------------------------------------------------------------------

fill_table=$scratch/fills.md
{
    echo "| picture | mask | hole | method | seconds | CPU (s) | boundary z | hole coherence (original) | hole detail (original) | step ratio | outside changed |"
    echo "|---|---|--:|---|--:|--:|--:|--:|--:|--:|--:|"
} >"$fill_table"

# One table row: picture, mask, method, seconds, CPU, then the fill figures of RESULT.
fill_row() {
    "$quality" --threads=2 --fill "$scratch/$1.bmp" "$masks/$2-$dims.bmp" "$6" | awk -v p="$1" -v m="$2" -v t="$3" \
        -v s="$4" -v c="$5" -v d="$dims" '{
        for (i = 1; i <= NF; ++i) { split($i, kv, "="); f[kv[1]] = kv[2] }
        split(d, wh, "x")
        printf "| %s | %s | %.1f %% | %s | %s | %s | %.2f | %.2f (%.2f) | %.3f (%.3f) | %.2f | %d |\n", p, m,
               100 * f["hole_pixels"] / (wh[1] * wh[2]), t, s, c, f["boundary_z"], f["hole_coherence"],
               f["original_hole_coherence"], f["hole_detail"], f["original_hole_detail"], f["hole_step_ratio"],
               f["outside_changed"]
    }' >>"$fill_table"
}

tile_table=$scratch/tiles.md
{
    echo "| picture | band (pixels) | seconds | CPU (s) | seam z columns, before | seam z rows, before | seam z columns, after | seam z rows, after |"
    echo "|---|--:|--:|--:|--:|--:|--:|--:|"
} >"$tile_table"

masks=$scratch/masks
for dims in "320 240" "256 256" "128 128"; do
    # shellcheck disable=SC2086
    sh "$here/bench/make-masks.sh" $dims "$masks" >/dev/null
done
for shape_file in "$masks"/*.png; do
    /usr/bin/convert "$shape_file" -type TrueColor BMP3:"${shape_file%.png}.bmp"
done

for name in $fills; do
    if [ -e "$here/bench/exemplars/$name.png" ]; then
        /usr/bin/convert "$here/bench/exemplars/$name.png" -type TrueColor BMP3:"$scratch/$name.bmp"
    fi
    original=$scratch/$name.bmp
    dims=$(/usr/bin/identify -format '%wx%h' "$original")
    for shape in rect blob stroke; do
        mask=$masks/$shape-$dims.bmp
        ours=$scratch/$name-$shape-texsynth.bmp
        set -- $(timed "$texsynth" --quiet --mask="$mask" --output="$ours" "$original")
        fill_row "$name" "$shape" "texsynth --mask" "$1" "$2" "$ours"
        echo "$name $shape: texsynth $1 s" >&2
        result=$scratch/$name-$shape-filled.bmp
        set -- $(measured sh "$here/scripts/peer-inpaint.sh" "$original" "$mask" "$result")
        fill_row "$name" "$shape" "G'MIC inpaint_matchpatch" "$(sed -n 's/^wall_seconds=//p' "$scratch/report")" "$1" \
            "$result"
        echo "$name $shape: G'MIC done" >&2
        if [ "$shape" = blob ]; then
            # The original, the hole in magenta, texsynth's fill, G'MIC's; photos at their size, exemplars twice.
            scale=100%
            [ "$dims" = 128x128 ] && scale=200%
            /usr/bin/convert "$original" \( "$mask" -negate \) -alpha off -compose copy_opacity -composite \
                -background magenta -compose over -flatten "$scratch/holed.png"
            /usr/bin/convert \( "$original" -filter point -resize $scale \) \
                \( "$scratch/holed.png" -filter point -resize $scale \) \
                \( "$ours" -filter point -resize $scale \) \
                \( "$result" -filter point -resize $scale \) -background white -splice 4x0 +append \
                -define png:exclude-chunk=date,time "$pictures/fill-$name.png"
        fi
    done
    # The photos made tileable: seams before and after, and 2 x 2 copies of each side by side.
    case $name in *-photo) ;; *) continue ;; esac
    tiled=$scratch/$name-tiled.bmp
    set -- $(timed "$texsynth" --quiet --make-tileable --output="$tiled" "$original")
    before=$("$quality" --threads=2 "$original" "$original")
    after=$("$quality" --threads=2 "$original" "$tiled")
    band=$(echo "$dims" | tr x ' ' | awk '{ s = $1 < $2 ? $1 : $2; b = int(s / 8); print b < 1 ? 1 : b }')
    printf "| %s | %s | %s | %s | %.2f | %.2f | %.2f | %.2f |\n" "$name" "$band" "$1" "$2" \
        "$(field "$before" seam_z_columns)" "$(field "$before" seam_z_rows)" "$(field "$after" seam_z_columns)" \
        "$(field "$after" seam_z_rows)" >>"$tile_table"
    echo "$name tiled: $1 s" >&2
    /usr/bin/convert \( "$original" "$original" +append \) \( "$original" "$original" +append \) -append "$scratch/before.png"
    /usr/bin/convert \( "$tiled" "$tiled" +append \) \( "$tiled" "$tiled" +append \) -append "$scratch/after.png"
    /usr/bin/convert "$scratch/before.png" "$scratch/after.png" -background white -splice 4x0 +append -resize 50% \
        -define png:exclude-chunk=date,time "$pictures/tile-$name.png"
done

# One large hole in a large picture: the wall photo mirrored into a seamless 640 x 480 tile, repeated to
# 4000 x 3000, with a 210 x 160 hole in the middle. Made here, never kept.
large_line=""
if [ "${COMPARE_LARGE-1}" != 0 ]; then
    /usr/bin/convert "$here/bench/exemplars/wall-photo.png" \( +clone -flop \) +append \( +clone -flip \) -append \
        -write mpr:tile +delete -size 4000x3000 tile:mpr:tile -type TrueColor BMP3:"$scratch/large.bmp"
    /usr/bin/convert -size 4000x3000 xc:black -fill white -draw "rectangle 1895,1420 2104,1579" \
        -type TrueColor BMP3:"$scratch/large-mask.bmp"
    set -- $(measured "$texsynth" --quiet --mask="$scratch/large-mask.bmp" --output="$scratch/large-ours.bmp" \
        "$scratch/large.bmp")
    ours_cpu=$1
    ours_peak=$2
    set -- $(timed "$texsynth" --quiet --mask="$scratch/large-mask.bmp" --output="$scratch/large-ours.bmp" \
        "$scratch/large.bmp")
    ours_seconds=$1
    set -- $(measured sh "$here/scripts/peer-inpaint.sh" "$scratch/large.bmp" "$scratch/large-mask.bmp" \
        "$scratch/large-filled.bmp")
    large_cpu=$1
    large_peak=$2
    large_seconds=$(sed -n 's/^wall_seconds=//p' "$scratch/report")
    # The fill figures on an 800 x 600 crop around the hole: the whole picture has too many patches to search.
    for part in large large-mask large-filled large-ours; do
        /usr/bin/convert "$scratch/$part.bmp" -crop 800x600+1600+1200 +repage -type TrueColor BMP3:"$scratch/$part-crop.bmp"
    done
    large_figures=$("$quality" --threads=2 --fill "$scratch/large-crop.bmp" "$scratch/large-mask-crop.bmp" \
        "$scratch/large-filled-crop.bmp")
    ours_figures=$("$quality" --threads=2 --fill "$scratch/large-crop.bmp" "$scratch/large-mask-crop.bmp" \
        "$scratch/large-ours-crop.bmp")
    echo "large: texsynth $ours_seconds s, G'MIC $large_seconds s" >&2
    large_line="A 210 x 160 hole in the middle of a 4000 x 3000 picture (the wall photo mirrored and repeated),
files included: texsynth $ours_seconds s of wall time, $ours_cpu s of CPU time, peak resident memory $ours_peak MiB;
G'MIC $large_seconds s of wall time, $large_cpu s of CPU time, peak resident memory $large_peak MiB. Fill figures
on an 800 x 600 crop centred on the hole (the mirrored tiling puts copies of what the hole hid elsewhere, so
they say little here): texsynth $(field "$ours_figures" boundary_z) boundary z, $(field "$ours_figures" hole_coherence)
hole coherence; G'MIC $(field "$large_figures" boundary_z), $(field "$large_figures" hole_coherence)."
fi

load_end=$(cut -d' ' -f1-3 /proc/loadavg)

# Markdown links to the pictures made above whose names start with $1, one paragraph each.
picture_links() {
    for picture in "$pictures/$1"*.png; do
        [ -f "$picture" ] || continue
        name=${picture##*/}
        name=${name%.png}
        echo "![${name#"$1"}]($picture)"
        echo
    done
}

{
    echo "## texsynth beside its peers"
    echo
    echo "Made by \`bench/compare-peers.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'),"
    echo "$(nproc) CPUs; load average $load_start when it started, $load_end when it ended (other work on the"
    echo "machine stretches wall times; the CPU column is less affected)."
    echo
    echo "### Textures, ${size} x ${size}"
    echo
    echo "texsynth with the default matrix (\`$matrix\`). G'MIC: \`OMP_NUM_THREADS=1 gmic -v -1 EXEMPLAR srand 42"
    echo "syntexturize_matchpatch $size,$size\` (its output is not made to tile, so its seam scores say nothing)."
    echo "GIMP: the texturize plug-in, tileable, run by \`scripts/peer-gimp-texturize.sh\`; its seconds and CPU are"
    echo "the plug-in's alone (the whole gimp-console run less the same run without the plug-in, whose wall time"
    echo "is the start-up column; a busy machine can make the wall difference meaningless). On exemplars of at"
    echo "most 128 pixels a side GIMP also ran with an overlap of three quarters of the side; the better of its"
    echo "two rows (lower coherence mean) is marked. Seconds are wall time; CPU is user + system time."
    echo "Figures: \`bench/quality/README.md\`; blocks: pass when both block ratios are at most 1.05 x the"
    echo "larger of 1 and the exemplar's. Repeat share: texsynth's default from its source map, the others from"
    echo "equal 3 x 3 neighbourhoods."
    echo
    cat "$texture_table"
    echo
    echo "The exemplars' own block ratios:"
    echo
    cat "$exemplar_table"
    echo
    echo "Each exemplar enlarged twice, then the top left 256 x 256 of texsynth's default output, G'MIC's and"
    echo "GIMP's (the better overlap):"
    echo
    picture_links texture-
    echo "### Holes filled"
    echo
    echo "texsynth: \`texsynth --mask=MASK --output=RESULT PICTURE\` (its defaults, every core). G'MIC:"
    echo "\`OMP_NUM_THREADS=1 gmic -v -1 IMAGE MASK srand 42 inpaint_matchpatch[0] [1] round[0] cut[0] 0,255\`"
    echo "(\`scripts/peer-inpaint.sh\`). On the photos in \`bench/exemplars/\` and the 128 x 128 exemplars in"
    echo "\`demo/\`, with the masks of \`bench/make-masks.sh\`. Figures from \`texsynth-quality --fill\`; in"
    echo "brackets the same figure of the untouched original, what a perfect fill would score. Goals: boundary z"
    echo "below 2, less time than G'MIC, step ratio (the mean step between neighbours inside the hole over the"
    echo "true content's) 0.8 to 1.25. Hole coherence is lower where the fill is closer to patches found elsewhere in"
    echo "the picture, and lower still where it is smooth (hole detail, the step inside the hole against the step"
    echo "outside, shows that): the true content scores 1.5 to 2.5 times worse than any fill, so it is no goal."
    echo
    cat "$fill_table"
    echo
    echo "$large_line"
    echo
    echo "The blob holes: the original, the hole in magenta, texsynth's fill, G'MIC's (photos at their size, the"
    echo "exemplars twice):"
    echo
    picture_links fill-
    echo "### Photos made tileable"
    echo
    echo "\`texsynth --make-tileable --output=RESULT PICTURE\` (the default band, an eighth of the shorter side);"
    echo "the wrap-around seams before and after (below 2: like any interior boundary)."
    echo
    cat "$tile_table"
    echo
    echo "Each photo 2 x 2 times before and after, at half size:"
    echo
    picture_links tile-
} >"$markdown"
