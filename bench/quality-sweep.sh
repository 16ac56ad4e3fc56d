#!/bin/sh
# Runs one texsynth variant on every exemplar and prints one Markdown table row per exemplar:
#   | LABEL | exemplar | wall s | CPU s | coherence mean | coherence p95 | completeness | seam z (the larger)
#   | block ratio 2 | block ratio 4 |
# the figures of the finest level from texsynth-quality (on two threads) and bench/block-ratio.py.
# Usage: bench/quality-sweep.sh BUILD_DIR LABEL ARGUMENTS...
#   ARGUMENTS are texsynth's, with @IN for the exemplar and @OUT for the output (the --output form, e.g.
#   --output=@OUT @IN 512 512), or @OUT_PREFIX for a prefix whose _0.bmp is the finest level.
# Exemplars: demo/*.bmp and stone, wood, grass, grate, tiles and gravel from $EXEMPLAR_DIR (default
# /work/staging/exemplars, where they are kept on the development machine), or those named in $EXEMPLARS.
# Outputs are kept in $SWEEP_DIR (default /tmp/quality-sweep/LABEL), as EXEMPLAR.bmp.
set -eu

build=$1
label=$2
shift 2
here=$(cd "$(dirname "$0")/.." && pwd)
texsynth=$build/texsynth
quality=$build/bench/quality/texsynth-quality
exemplars=${EXEMPLARS:-$(ls "$here"/demo/*.bmp 2>/dev/null; for e in stone wood grass grate tiles gravel; do ls "${EXEMPLAR_DIR:-/work/staging/exemplars}/$e.bmp" 2>/dev/null; done)}
safe_label=$(printf %s "$label" | tr -c 'A-Za-z0-9_.=-' '_')
dir=${SWEEP_DIR:-/tmp/quality-sweep/$safe_label}
mkdir -p "$dir"

for input in $exemplars; do
    name=$(basename "$input" .bmp)
    args=""
    out=""
    for a in "$@"; do
        case $a in
        @IN) a=$input ;;
        @OUT) a=$dir/$name.bmp out=$dir/$name.bmp ;;
        @OUT_PREFIX) a=$dir/$name out=$dir/${name}_0.bmp ;;
        --output=@OUT) a=--output=$dir/$name.bmp out=$dir/$name.bmp ;;
        esac
        args="$args $a"
    done
    # shellcheck disable=SC2086
    /usr/bin/time -f "%e %U %S" -o "$dir/$name.time" "$texsynth" --quiet $args >/dev/null
    time=$(awk '{printf "%.2f | %.2f", $1, $2 + $3}' "$dir/$name.time")
    figures=$("$quality" --threads=2 "$input" "$out")
    blocks=$("$here/bench/block-ratio.py" "$out")
    echo "$figures $blocks" | awk -v name="$name" -v label="$label" -v time="$time" '{
        for (i = 1; i <= NF; ++i) { split($i, kv, "="); f[kv[1]] = kv[2] }
        printf "| %s | %s | %s | %.2f | %.2f | %.3f | %.2f | %.3f | %.3f |\n", label, name, time,
               f["coherence_mean"], f["coherence_p95"], f["completeness"], (f["seam_z_columns"] > f["seam_z_rows"] ? f["seam_z_columns"] : f["seam_z_rows"]),
               f["block_ratio_2"], f["block_ratio_4"]
    }'
done
