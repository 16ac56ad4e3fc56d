#!/bin/sh
# Makes a W x H tileable texture from EXEMPLAR with the GIMP texturize plug-in (a patch-based method with
# graph-cut seams, used only as a yardstick), run headless by gimp-console in batch mode, and writes it to
# OUT as an uncompressed 24-bit BMP.
# Usage: scripts/peer-gimp-texturize.sh EXEMPLAR W H OUT [OVERLAP]
#   OVERLAP defaults to what the plug-in's dialog offers: 100 pixels, or the exemplar's smaller side when
#   that is less.
# Prints, one per line:
#   overlap=<pixels used>
#   wall_seconds=<the whole gimp-console run: start-up, loading, the plug-in, saving, quitting>
#   startup_seconds=<the same batch with the plug-in call left out (start, load, save, quit)>
#   texturize_seconds=<the difference: the plug-in's own time, as near as two runs can tell>
#   cpu_seconds=, startup_cpu_seconds=, texturize_cpu_seconds=<the same in CPU time (user + system, GIMP and
#     its plug-ins), which other work on the machine disturbs far less than the wall times>
# Installs the Debian packages gimp and gimp-texturize (and ImageMagick) when missing: as root with apt-get;
# otherwise it prints the command to run and fails.
set -eu

if [ $# -ne 4 ] && [ $# -ne 5 ]; then
    echo "usage: $0 EXEMPLAR W H OUT [OVERLAP]" >&2
    exit 2
fi
exemplar=$1
width=$2
height=$3
out=$4
overlap=${5:-}

sh "$(dirname "$0")/install-deps.sh" --only gimp gimp-texturize imagemagick >&2

case "$width$height$overlap" in
*[!0-9]*)
    echo "$0: W, H and OVERLAP must be whole numbers" >&2
    exit 2
    ;;
esac

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Script-Fu strings would need escaping; plain names in the scratch folder need none.
/usr/bin/convert "$exemplar" -type TrueColor BMP3:"$scratch/exemplar.bmp"

if [ -z "$overlap" ]; then
    overlap=$(/usr/bin/identify -format '%w %h' "$scratch/exemplar.bmp" |
        awk '{ side = $1 < $2 ? $1 : $2; print side < 100 ? side : 100 }')
fi

# Loads the exemplar, optionally runs the plug-in (it makes a new image, the newest in the image list),
# and saves the newest image; -i: no interface, -d: no brushes or patterns, -f: no fonts.
batch() {
    texturize=$1
    saved=$2
    gimp-console -i -d -f --no-splash -b "
(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"$scratch/exemplar.bmp\" \"exemplar.bmp\")))
       (layer (car (gimp-image-get-active-drawable image))))
  $texturize
  (let ((newest (aref (cadr (gimp-image-list)) 0)))
    (gimp-image-flatten newest)
    (gimp-file-save RUN-NONINTERACTIVE newest (car (gimp-image-get-active-drawable newest))
                    \"$saved\" \"$saved\"))
  (gimp-quit 0))" >"$scratch/gimp.log" 2>&1 </dev/null || true
    if [ ! -s "$saved" ]; then
        echo "$0: gimp-console made no image; its output:" >&2
        cat "$scratch/gimp.log" >&2
        exit 1
    fi
}

nanoseconds() { date +%s%N; }
# The CPU seconds of every child this shell has waited for so far (GIMP waits for its plug-ins), read in this
# shell itself: a command substitution would run `times` in a subshell with no children of its own.
children_cpu() {
    times >"$scratch/times"
    sed -n 2p "$scratch/times" | tr 'ms' '  ' | awk '{ print $1 * 60 + $2 + $3 * 60 + $4 }'
}

start=$(nanoseconds)
children_cpu >"$scratch/cpu-start"
batch "(gimp-plugin-texturize RUN-NONINTERACTIVE image layer $width $height $overlap TRUE)" "$scratch/made.bmp"
end=$(nanoseconds)
children_cpu >"$scratch/cpu-end"
batch "" "$scratch/startup.bmp"
startup_end=$(nanoseconds)
children_cpu >"$scratch/cpu-startup-end"
start_cpu=$(cat "$scratch/cpu-start")
end_cpu=$(cat "$scratch/cpu-end")
startup_end_cpu=$(cat "$scratch/cpu-startup-end")

/usr/bin/convert "$scratch/made.bmp" -type TrueColor BMP3:"$out"
size=$(/usr/bin/identify -format '%wx%h' "$out")
if [ "$size" != "${width}x$height" ]; then
    echo "$0: the plug-in made a $size image, not ${width}x$height" >&2
    exit 1
fi

echo "overlap=$overlap"
echo "$start $end $startup_end $start_cpu $end_cpu $startup_end_cpu" | awk '{
    wall = ($2 - $1) / 1e9; startup = ($3 - $2) / 1e9
    printf "wall_seconds=%.3f\nstartup_seconds=%.3f\ntexturize_seconds=%.3f\n", wall, startup, wall - startup
    cpu = $5 - $4; startup_cpu = $6 - $5
    printf "cpu_seconds=%.2f\nstartup_cpu_seconds=%.2f\ntexturize_cpu_seconds=%.2f\n", cpu, startup_cpu, cpu - startup_cpu
}'
