#!/bin/sh
# Runs every way of matching side by side, in one session, on the shipped exemplars, and writes a Markdown
# section with their times, their quality figures, the peer's (G'MIC's patch-based synthesis, a different
# method used only as a yardstick) and pictures of each output beside its exemplar.
# Usage: bench/compare-matchers.sh BUILD_DIR MARKDOWN_OUT PICTURE_DIR [SIZES]
#   BUILD_DIR holds texsynth and bench/quality/texsynth-quality; SIZES defaults to "256 512".
# Installs ImageMagick and G'MIC from Debian when missing (as root; otherwise it says what to install).
set -eu

build=$1
markdown=$2
pictures=$3
sizes=${4:-256 512}
here=$(cd "$(dirname "$0")/.." && pwd)
texsynth=$build/texsynth
quality=$build/bench/quality/texsynth-quality

sh "$(dirname "$0")/../scripts/install-deps.sh" --only gmic imagemagick >&2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$pictures"

# Seconds a command takes, to the millisecond.
seconds() {
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    echo "$start $end" | awk '{printf "%.2f", ($2 - $1) / 1e9}'
}

# The figures of one output against its exemplar, as Markdown cells.
figures() {
    "$quality" "$1" "$2" | awk '{
        for (i = 1; i <= NF; ++i) { split($i, kv, "="); f[kv[1]] = kv[2] }
        printf "%.2f | %.2f | %.2f | %.3f | %.2f", f["seam_z"], f["coherence_mean"], f["coherence_p95"],
               f["completeness"], f["histogram"]
    }'
}

# The ways of matching: a label, then texsynth's options (the default matrix, L = 3, throughout).
modes="approximate|default (approximate kd-tree), 1 thread|--threads=1
exact-1|--match=exact, 1 thread|--match=exact --threads=1
exact-2|--match=exact, 2 threads|--match=exact --threads=2
coherent-1|--match=coherent --passes=2, 1 thread|--match=coherent --passes=2 --threads=1
coherent-2|--match=coherent --passes=2, 2 threads|--match=coherent --passes=2 --threads=2"

{
    echo "| exemplar | output | way of matching | seconds | seam z | coherence mean | coherence p95 | completeness | histogram |"
    echo "|---|---|---|---:|---:|---:|---:|---:|---:|"
} >"$scratch/table.md"

for exemplar in demo2 bricks cork; do
    input=$here/demo/$exemplar.bmp
    for size in $sizes; do
        echo "$modes" | while IFS='|' read -r key label options; do
            out=$scratch/$exemplar-$size-$key
            # shellcheck disable=SC2086
            time=$(seconds "$texsynth" --quiet $options "$input" "$out" "$size" "$size" 3 2 1 1 0 2 1 0 0 2)
            echo "| $exemplar | ${size}² | $label | $time | $(figures "$input" "${out}_0.bmp") |" >>"$scratch/table.md"
            echo "$exemplar ${size}² $label: $time s" >&2
        done
        peer=$scratch/$exemplar-$size-peer.bmp
        time=$(sh "$here/scripts/peer-texture.sh" "$input" "$size" "$size" "$peer" | sed 's/wall_seconds=//')
        echo "| $exemplar | ${size}² | peer: G'MIC syntexturize_matchpatch, 1 thread | $time | $(figures "$input" "$peer") |" \
            >>"$scratch/table.md"
        echo "$exemplar ${size}² peer: $time s" >&2
        if [ "$size" = 512 ]; then
            # The exemplar at twice its size beside a 256 x 256 corner of every output.
            tiles=""
            for key in approximate exact-1 coherent-1; do
                /usr/bin/convert "$scratch/$exemplar-$size-${key}_0.bmp" -crop 256x256+0+0 +repage "$scratch/tile-$key.png"
                tiles="$tiles $scratch/tile-$key.png"
            done
            /usr/bin/convert "$peer" -crop 256x256+0+0 +repage "$scratch/tile-peer.png"
            /usr/bin/convert \( "$input" -filter point -resize 200% \) $tiles "$scratch/tile-peer.png" +append \
                -define png:exclude-chunk=date,time "$pictures/$exemplar.png"
        fi
    done
done

# A large run, for scale.
large=$scratch/large
large_exact=$(seconds "$texsynth" --quiet --match=exact --threads=2 "$here/demo/cork.bmp" "$large" 1024 1024 3 2 1 1 0 2 1 0 0 2)
large_coherent=$(seconds "$texsynth" --quiet --match=coherent --passes=2 --threads=2 "$here/demo/cork.bmp" "$large" 1024 1024 3 2 1 1 0 2 1 0 0 2)

{
    echo "### Ways of matching, side by side"
    echo
    echo "Whole runs with the default matrix (L = 3), one after another in one session, seconds of wall time;"
    echo "the quality figures are those of the finest level against its exemplar (bench/quality/README.md):"
    echo "seam z is the wrap-around seam's difference as a z-score against the interior boundaries (below 2:"
    echo "no visible seam), coherence the RMS difference of every 5 x 5 patch from its nearest exemplar patch"
    echo "(lower: more like the exemplar), completeness the share of exemplar patches that are some output"
    echo "patch's nearest, histogram the colour histograms' distance in grey levels. The peer is a different,"
    echo "patch-based method, run as \`OMP_NUM_THREADS=1 gmic -v -1 EXEMPLAR srand 42 syntexturize_matchpatch W,H\`."
    echo
    cat "$scratch/table.md"
    echo
    echo "A 1024 x 1024 output from the 128 x 128 cork exemplar on two threads: ${large_exact} s with"
    echo "\`--match=exact\`, ${large_coherent} s with \`--match=coherent --passes=2\`."
    echo
    echo "Each picture: the exemplar (enlarged twice), then the top left 256 x 256 of the 512 x 512 output of the"
    echo "default, \`--match=exact\`, \`--match=coherent --passes=2\` and the peer."
    echo
    for exemplar in demo2 bricks cork; do
        echo "![$exemplar](bench/pictures/$exemplar.png)"
        echo
    done
} >"$markdown"
