#!/bin/sh
# Makes a W x H texture from EXEMPLAR with G'MIC's patch-based synthesis (syntexturize_matchpatch, one
# thread, fixed seed), the yardstick texsynth's outputs are measured against, and writes it to OUT as an
# uncompressed 24-bit BMP. Prints one line, wall_seconds=<time G'MIC took>.
# Installs the Debian package gmic when it is missing: as root with apt-get; otherwise it prints the command
# to run and fails.
# Usage: scripts/peer-texture.sh EXEMPLAR W H OUT
set -eu

if [ $# -ne 4 ]; then
    echo "usage: $0 EXEMPLAR W H OUT" >&2
    exit 2
fi
exemplar=$1
width=$2
height=$3
out=$4

sh "$(dirname "$0")/install-deps.sh" --only gmic imagemagick >&2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
made=$scratch/peer.bmp

start=$(date +%s%N)
OMP_NUM_THREADS=1 gmic -v -1 "$exemplar" srand 42 syntexturize_matchpatch "$width,$height" -o "$made"
end=$(date +%s%N)

# G'MIC 2.9 writes 24-bit uncompressed BMP already; anything else (other bit depths, compression) is
# rewritten with ImageMagick so that texsynth's tools can read it.
bits=$(od -A n -t u2 -j 28 -N 2 "$made" | tr -d ' ')
compression=$(od -A n -t u4 -j 30 -N 4 "$made" | tr -d ' ')
if [ "$bits" = 24 ] && [ "$compression" = 0 ]; then
    mv "$made" "$out"
else
    /usr/bin/convert "$made" -type TrueColor BMP3:"$out"
fi

echo "wall_seconds=$(echo "$start $end" | awk '{printf "%.3f", ($2 - $1) / 1e9}')"
