#!/bin/sh
# Measures what is made where: guided textures, style transfers, remixes of several exemplars and structure
# maps matched with the colour (times beside plain textures, and the figures bench/control_figures.py
# computes), and draws their pictures. Writes a Markdown section for BENCHMARKS.md.
# Needs the texsynth module built in BUILD_DIR/python, NumPy and ImageMagick (/usr/bin/convert).
# Usage: bench/control-bench.sh BUILD_DIR OUT.md [PICTURE_DIR]   (PICTURE_DIR defaults to bench/pictures)
set -eu
sh "$(dirname "$0")/../scripts/install-deps.sh" --only time imagemagick python3-numpy >&2

build=$1
out=$2
here=$(cd "$(dirname "$0")/.." && pwd)
pictures=${3:-$here/bench/pictures}
mkdir -p "$pictures"
texsynth=$build/texsynth
ex=$here/bench/exemplars
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
convert=/usr/bin/convert
png="-define png:exclude-chunk=date,time"
figures() { PYTHONPATH=$build/python /usr/bin/python3 "$here/bench/control_figures.py" "$@"; }
value() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }

# The best wall time of three runs and the CPU time (user and system) of that run, in seconds: "wall | cpu".
best_of_three() {
    best=""
    for _ in 1 2 3; do
        /usr/bin/time -f "%e %U %S" -o "$scratch/time" "$texsynth" --quiet "$@" >/dev/null
        best=$(awk -v best="$best" '{if (best == "" || $1 < best + 0) printf "%s %.2f", $1, $2 + $3; else print best}' \
            "$scratch/time")
    done
    echo "$best" | awk '{printf "%.2f | %.2f", $1, $2}'
}

$convert "$ex/paving-photo.png" -resize 512x512! $png "$scratch/paving-512.png"
guide="--guide=$ex/grass-gravel-guide.png"
plain=$(best_of_three -o "$scratch/t.png" "$ex/grass-gravel.png")
guided=$(best_of_three "$guide" --target-guide="$ex/layouts/circle-path-512.png" -o "$scratch/t.png" \
    "$ex/grass-gravel.png")
stone=$(best_of_three -o "$scratch/t.png" "$ex/stone.png")
transfer=$(best_of_three --transfer="$scratch/paving-512.png" -o "$scratch/t.png" "$ex/stone.png")
grass=$(best_of_three -o "$scratch/t.png" "$ex/grass.png")
gravel=$(best_of_three -o "$scratch/t.png" "$ex/gravel.png")
remix=$(best_of_three -o "$scratch/t.png" "$ex/stone.png" "$ex/grass.png" "$ex/gravel.png")

{
echo "### What is made where"
echo
echo "\`sh bench/control-bench.sh\` on $(nproc) cores: guides, style transfer, several exemplars and structure maps."
echo "Times are the best wall time of three runs of the program (files included), 512 x 512 results, default"
echo "settings, with the CPU time of that run (user and system: on a machine busy with other work the wall"
echo "time stretches, the CPU time much less). Load average when this part started: $(cut -d' ' -f1-3 /proc/loadavg)."
echo
echo "| run | wall seconds | CPU seconds |"
echo "|---|---|---|"
echo "| \`grass-gravel.png\`, no guide | $plain |"
echo "| \`grass-gravel.png\` with its guide and \`layouts/circle-path-512.png\` | $guided |"
echo "| \`stone.png\` | $stone |"
echo "| \`stone.png\` transferred onto \`paving-photo.png\` stretched to 512 x 512 | $transfer |"
echo "| \`grass.png\` | $grass |"
echo "| \`gravel.png\` | $gravel |"
echo "| \`stone.png\`, \`grass.png\` and \`gravel.png\` remixed (40,000 exemplar pixels, 2.6 times \`stone.png\`'s) | $remix |"
echo
} >"$out"

# Guides: how well the layout follows the target guide, and how coherent each region stays, against a texture
# made from each region alone (its sample mask), over three seeds.
$convert "$ex/grass-gravel-guide.png" -negate $png "$scratch/grass-only.png"
{
echo "**Guides.** \`grass-gravel.png\` (a band of gravel across grass) with its guide, laid out as"
echo "\`layouts/circle-path-256.png\` (256 x 256). *Agreement*: the share of pixels copied from the region the"
echo "target guide asks for (by the guide at their source). *Coherence*: for the pixels whose 5 x 5 patch lies in"
echo "one region, the RMS per component to the nearest 5 x 5 patch of that region of the exemplar, in grey levels"
echo "(lower is more coherent); the reference is a texture made from that region alone (\`--sample-mask\`), as"
echo "coherent as the region allows. Means over seeds 1 to 3."
echo
echo "| guide weight | agreement | coherence, grass | coherence, gravel |"
echo "|---|---|---|---|"
} >>"$out"
for weight in 0 0.02 0.1 0.5 2; do
    total=""
    for seed in 1 2 3; do
        "$texsynth" --quiet --seed=$seed "$guide" --target-guide="$ex/layouts/circle-path-256.png" \
            --guide-weight=$weight --save-map="$scratch/map.png" -o "$scratch/guided.png" "$ex/grass-gravel.png" \
            >/dev/null
        line=$(figures guided "$ex/grass-gravel.png" "$ex/grass-gravel-guide.png" \
            "$ex/layouts/circle-path-256.png" "$scratch/guided.png" "$scratch/map.png")
        total="$total $(value "$line" agreement) $(value "$line" coherence_black) $(value "$line" coherence_white)"
    done
    label=$weight
    [ "$weight" = 0.02 ] && label="0.02 (default)"
    echo "$total" | awk -v w="$label" '{printf "| %s | %.4f | %.2f | %.2f |\n", w, ($1+$4+$7)/3, ($2+$5+$8)/3, ($3+$6+$9)/3}' \
        >>"$out"
done
grass_alone=""
gravel_alone=""
for seed in 1 2 3; do
    for region in grass gravel; do
        mask="$ex/grass-gravel-guide.png"
        [ $region = grass ] && mask="$scratch/grass-only.png"
        "$texsynth" --quiet --seed=$seed --size=256x256 --sample-mask="$mask" --save-map="$scratch/map.png" \
            -o "$scratch/alone.png" "$ex/grass-gravel.png" >/dev/null
        line=$(figures guided "$ex/grass-gravel.png" "$ex/grass-gravel-guide.png" \
            "$ex/layouts/circle-path-256.png" "$scratch/alone.png" "$scratch/map.png" 2>/dev/null)
        if [ $region = grass ]; then
            grass_alone="$grass_alone $(value "$line" coherence_black)"
        else
            gravel_alone="$gravel_alone $(value "$line" coherence_white)"
        fi
    done
done
echo "$grass_alone $gravel_alone" | awk '{printf "| each region alone | | %.2f | %.2f |\n\n", ($1+$2+$3)/3, ($4+$5+$6)/3}' >>"$out"

# Style transfer: how well the result's light and dark follow the target's.
{
echo "**Style transfer.** The correlation of the result's luminance with the target's, per pixel and after a"
echo "5 x 5 box blur (the light and dark at the scale of the exemplar's grain), for textures transferred onto"
echo "the 320 x 240 photos."
echo
echo "| style | target | correlation | 5 x 5 |"
echo "|---|---|---|---|"
} >>"$out"
for pair in "stone wall-photo" "stone paving-photo" "wood paving-photo" "gravel grass-photo"; do
    set -- $pair
    "$texsynth" --quiet --transfer="$ex/$2.png" -o "$scratch/$1-$2.png" "$ex/$1.png" >/dev/null
    line=$(figures transfer "$ex/$2.png" "$scratch/$1-$2.png")
    echo "| \`$1.png\` | \`$2.png\` | $(value "$line" correlation) | $(value "$line" correlation_5x5) |" >>"$out"
done
echo >>"$out"

# Structure maps: a rock's colour synthesized alone or with its height matched too; the height map comes out
# through the source map either way.
{
echo "**Structure maps.** \`rock-colour.png\` with its height map \`rock-height.png\` (192 x 192, a real"
echo "material: \`SOURCES.md\`), 256 x 256, the height sampled through each run's source map. *Seam step*: the"
echo "neighbouring pixels of the result that were not neighbours in the exemplar (the seams between copied"
echo "pieces), their mean absolute difference in a map over that of neighbouring exemplar pixels: 1 where a"
echo "seam is as smooth as the material itself. *Coherence*: \`texsynth-quality\`'s coherence_mean of the map"
echo "against the exemplar's. Matching on the height too makes the height map's seams much smoother and its"
echo "pieces more coherent, at the price of seams that show a little more in the colour. Means over seeds 1 to 4."
echo
echo "| matched on | height: seam step | height: coherence | colour: seam step | colour: coherence |"
echo "|---|---|---|---|---|"
} >>"$out"
for weight in 0 1 3; do
    total=""
    for seed in 1 2 3 4; do
        also=""
        [ $weight != 0 ] && also="--match-also=$ex/rock-height.png:$weight"
        # shellcheck disable=SC2086
        "$texsynth" --quiet --seed=$seed --size=256x256 $also --save-map="$scratch/map.png" \
            -o "$scratch/colour-$weight-$seed.png" "$ex/rock-colour.png" >/dev/null
        "$texsynth" --quiet --apply-map="$scratch/map.png" -o "$scratch/height-$weight-$seed.png" \
            "$ex/rock-height.png" >/dev/null
        h=$(figures seams "$ex/rock-height.png" "$scratch/map.png")
        c=$(figures seams "$ex/rock-colour.png" "$scratch/map.png")
        hq=$("$build/bench/quality/texsynth-quality" "$scratch/height-$weight-$seed.png" "$ex/rock-height.png")
        cq=$("$build/bench/quality/texsynth-quality" "$scratch/colour-$weight-$seed.png" "$ex/rock-colour.png")
        total="$total $(value "$h" seam_step) $(value "$hq" coherence_mean) $(value "$c" seam_step) $(value "$cq" coherence_mean)"
    done
    label="colour alone"
    [ $weight != 0 ] && label="colour and height (\`--match-also=rock-height.png:$weight\`)"
    echo "$total" | awk -v w="$label" '{for (i = 1; i <= 4; ++i) s[i] = ($i + $(i+4) + $(i+8) + $(i+12)) / 4;
        printf "| %s | %.2f | %.2f | %.2f | %.2f |\n", w, s[1], s[2], s[3], s[4]}' >>"$out"
done
{
echo
echo "![A rock's colour and height; textures matched on the colour alone and on both](bench/pictures/structure-maps.png)"
echo
echo "Left: the exemplar's colour and height. Middle: matched on the colour alone (seed 2), and its height map."
echo "Right: matched on colour and height (weight 1)."
echo
} >>"$out"
$convert \( "$ex/rock-colour.png" -resize 256x256 \) \( "$ex/rock-height.png" -resize 256x256 -colorspace sRGB \) -append \
    "$scratch/exemplar.png"
for weight in 0 1; do
    $convert "$scratch/colour-$weight-2.png" \( "$scratch/height-$weight-2.png" -colorspace sRGB \) -append "$scratch/result-$weight.png"
done
$convert "$scratch/exemplar.png" "$scratch/result-0.png" "$scratch/result-1.png" -background white -splice 8x0 +append \
    $png "$pictures/structure-maps.png"

# The README's pictures: a guide and its result, a style transfer, a remix.
"$texsynth" --quiet "$guide" --target-guide="$ex/layouts/circle-path-256.png" -o "$scratch/guided.png" \
    "$ex/grass-gravel.png" >/dev/null
$convert \( "$ex/grass-gravel.png" -scale 200% \) \( "$ex/grass-gravel-guide.png" -scale 200% -colorspace sRGB \) \
    "$ex/layouts/circle-path-256.png" "$scratch/guided.png" -background white -splice 8x0 +append \
    $png "$pictures/readme-guide.png"
"$texsynth" --quiet --transfer="$ex/paving-photo.png" -o "$scratch/transfer.png" "$ex/stone.png" >/dev/null
$convert \( "$ex/stone.png" -background white -gravity north -extent 128x240 \) +gravity "$ex/paving-photo.png" \
    "$scratch/transfer.png" -background white -splice 8x0 +append $png "$pictures/readme-transfer.png"
"$texsynth" --quiet --size=512x256 -o "$scratch/remix.png" "$ex/stone.png" "$ex/grass.png" "$ex/gravel.png" >/dev/null
$convert \( "$ex/stone.png" "$ex/grass.png" "$ex/gravel.png" -background white -gravity north -extent 128x128 \
    -append -resize x256 \) +gravity "$scratch/remix.png" -background white -splice 8x0 +append $png \
    "$pictures/readme-remix.png"
