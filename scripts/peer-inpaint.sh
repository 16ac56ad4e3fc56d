#!/bin/sh
# Fills the hole of IMAGE marked by MASK with G'MIC's patch-based inpaint_matchpatch (one thread, fixed seed:
# without one its fills differ from run to run), the
# yardstick for texsynth's hole filling, and writes the result to OUT: an uncompressed 24-bit BMP when OUT
# ends in .bmp, otherwise a PNG. MASK is a picture of the same size; G'MIC fills where it is not zero (any
# channel), as texsynth-quality --fill reads it.
# Prints one line, wall_seconds=<time G'MIC took, loading and saving included>.
# The result is rounded to whole levels before it is saved: G'MIC computes in floating point and its writers
# drop the fraction, which would lower nearly every pixel of the picture by one level.
# Installs the Debian packages gmic and ImageMagick when missing: as root with apt-get; otherwise it prints
# the command to run and fails.
# Usage: scripts/peer-inpaint.sh IMAGE MASK OUT
set -eu

if [ $# -ne 3 ]; then
    echo "usage: $0 IMAGE MASK OUT" >&2
    exit 2
fi
image=$1
mask=$2
out=$3

sh "$(dirname "$0")/install-deps.sh" --only gmic imagemagick >&2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
made=$scratch/filled.png

start=$(date +%s%N)
OMP_NUM_THREADS=1 gmic -v -1 "$image" "$mask" srand 42 inpaint_matchpatch[0] [1] round[0] cut[0] 0,255 -o[0] "$made"
end=$(date +%s%N)

case "$out" in
*.bmp | *.BMP) /usr/bin/convert "$made" -type TrueColor BMP3:"$out" ;;
*) /usr/bin/convert "$made" -define png:exclude-chunk=date,time PNG24:"$out" ;;
esac

echo "wall_seconds=$(echo "$start $end" | awk '{printf "%.3f", ($2 - $1) / 1e9}')"
