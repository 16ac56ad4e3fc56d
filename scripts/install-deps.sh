#!/bin/sh
# Installs the Debian packages a build needs, when they are missing. As root it runs apt-get itself;
# otherwise it prints the command to run and fails, so that make stops before building.
# Usage: scripts/install-deps.sh [extra-package ...]
#        scripts/install-deps.sh --only package ...   (just those: for the benchmark and peer scripts)
set -eu

# The Python module: Debian's python3 with its headers, pybind11 and NumPy; its tests use pytest and Pillow.
# Batches (texsynth.batch) run on Dask's distributed scheduler.
packages="g++ make cmake libann-dev libpng-dev libjpeg-dev libgtest-dev
    python3-dev pybind11-dev python3-numpy python3-pytest python3-pil
    python3-dask python3-distributed"
if [ "${1:-}" = --only ]; then
    shift
    packages=""
fi
packages="$packages $*"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
else
    echo "Missing Debian packages:$missing"
    echo "Install them with:"
    echo "    sudo apt-get install -y$missing"
    exit 1
fi
