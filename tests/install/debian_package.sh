#!/bin/sh
# The Debian package, made from the build as `make deb` makes it: everything under /usr (the Python module
# where Debian's python3 finds it), the program without a RUNPATH, and the dependencies on the libraries the
# binaries link and on Python and NumPy. Making it leaves the build's install manifest alone.
# Usage: debian_package.sh BUILD_DIR WITH_PYTHON (ON or OFF)
set -eu
build=$(cd "$1" && pwd)
with_python=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "$*"
    exit 1
}

manifest_before=$(cat "$build/install_manifest.txt" 2>/dev/null || echo none)
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$scratch/cpack.log")"
[ "$(cat "$build/install_manifest.txt" 2>/dev/null || echo none)" = "$manifest_before" ] ||
    fail "making the package changed $build/install_manifest.txt"
version=$("$build/texsynth" --version | sed 's/^texsynth //')
# The SONAME's version: the major version, and the minor one too while the major one is 0.
soversion=$(echo "$version" | awk -F. '{ print $1 == 0 ? $1 "." $2 : $1 }')
package=$scratch/texsynth_${version}_$(dpkg --print-architecture).deb
[ -f "$package" ] || fail "no $(basename "$package"): $(ls "$scratch")"

[ "$(dpkg-deb -f "$package" Package)" = texsynth ] || fail "the package is not called texsynth"
[ "$(dpkg-deb -f "$package" Version)" = "$version" ] || fail "the package's version is not $version"
depends=$(dpkg-deb -f "$package" Depends)
needed="libann0 libpng16-16 libjpeg62-turbo libc6 libstdc++6"
if [ "$with_python" = ON ]; then
    needed="$needed python3 python3-numpy"
fi
for dependency in $needed; do
    echo "$depends" | tr ',' '\n' | grep -q "^ *$dependency\( \|$\)" ||
        fail "the package does not depend on $dependency: Depends: $depends"
done

dpkg-deb -c "$package" | awk '{ print $6 }' >"$scratch/contents"
expected="./usr/bin/texsynth ./usr/share/man/man1/texsynth.1.gz ./usr/share/bash-completion/completions/texsynth
    ./usr/lib/libtexsynth.so.$soversion ./usr/lib/libtexsynth.so ./usr/include/texsynth/texsynth.h
    ./usr/include/texsynth/version.h ./usr/lib/cmake/texsynth/texsynth-config.cmake ./usr/lib/pkgconfig/texsynth.pc
    ./usr/share/doc/texsynth/copyright ./usr/share/doc/texsynth/examples/make_texture.cpp"
for file in $expected; do
    grep -qx "$file" "$scratch/contents" || fail "the package lacks $file"
done
outside=$(grep -v '^\./usr/' "$scratch/contents" | grep -vx './' || true)
local_files=$(grep '^\./usr/local' "$scratch/contents" || true)
[ -z "$outside$local_files" ] || fail "the package installs outside /usr or into /usr/local: $outside$local_files"

dpkg-deb -x "$package" "$scratch/root"
if readelf -d "$scratch/root/usr/bin/texsynth" | grep -q 'RUNPATH\|RPATH'; then
    fail "the packaged program keeps a RUNPATH: $(readelf -d "$scratch/root/usr/bin/texsynth" | grep PATH)"
fi
grep -qx 'prefix=/usr' "$scratch/root/usr/lib/pkgconfig/texsynth.pc" || fail "texsynth.pc does not name /usr"
[ "$(LD_LIBRARY_PATH="$scratch/root/usr/lib" "$scratch/root/usr/bin/texsynth" --version)" = "texsynth $version" ] ||
    fail "the packaged program does not run with the packaged library"
if [ "$with_python" = ON ]; then
    modules=$scratch/root/usr/lib/python3/dist-packages
    PYTHONPATH="$modules" /usr/bin/python3 -c 'import texsynth; print(texsynth.__file__)' >"$scratch/python.txt"
    case "$(cat "$scratch/python.txt")" in
    "$modules"/texsynth*) ;;
    *) fail "the packaged Python module is not in /usr/lib/python3/dist-packages: $(cat "$scratch/python.txt")" ;;
    esac
fi
