#!/bin/sh
# `cmake --install --prefix` puts every part in its place under the prefix, and the install manifest lists
# every file it wrote, so that `xargs rm < install_manifest.txt` leaves none behind. The installed program
# runs from there; the example program builds against the installed library, through its CMake package and
# through pkg-config, and makes the same bytes as the program.
# Usage: installed_library.sh BUILD_DIR SOURCE_DIR PYTHON_MODULE_DIR (relative to the prefix; empty: no module)
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
python_dir=$3
scratch=$(mktemp -d)
prefix=$scratch/prefix
# The build's manifest belongs to whoever installed from it last: keep it as it was.
manifest=$build/install_manifest.txt
if [ -e "$manifest" ]; then
    mv "$manifest" "$scratch/manifest.kept"
fi
restore() {
    rm -f "$manifest"
    if [ -e "$scratch/manifest.kept" ]; then
        mv "$scratch/manifest.kept" "$manifest"
    fi
    rm -rf "$scratch"
}
trap restore EXIT
fail() {
    echo "$*"
    exit 1
}

cmake --install "$build" --prefix "$prefix" >"$scratch/install.log"
# The SONAME's version: the major version, and the minor one too while the major one is 0.
soversion=$("$build/texsynth" --version | awk '{ split($2, v, "."); print v[1] == 0 ? v[1] "." v[2] : v[1] }')
for file in bin/texsynth share/man/man1/texsynth.1.gz share/bash-completion/completions/texsynth \
    lib/libtexsynth.so.$soversion lib/libtexsynth.so include/texsynth/texsynth.h include/texsynth/version.h \
    lib/cmake/texsynth/texsynth-config.cmake lib/pkgconfig/texsynth.pc share/doc/texsynth/copyright \
    share/doc/texsynth/examples/make_texture.cpp; do
    [ -e "$prefix/$file" ] || fail "cmake --install did not install $file"
done
version=$("$build/texsynth" --version)
[ "$("$prefix/bin/texsynth" --version)" = "$version" ] || fail "the installed program does not run: see above"
grep -q "^prefix=$prefix\$" "$prefix/lib/pkgconfig/texsynth.pc" || fail "texsynth.pc does not name the prefix"

cd "$scratch"
"$prefix/bin/texsynth" --size=96x64 -o program.png "$source/demo/demo2.bmp" >/dev/null
cmake -S "$prefix/share/doc/texsynth/examples" -B example -DCMAKE_PREFIX_PATH="$prefix" >example.log ||
    fail "the example does not configure against the installed package: $(cat example.log)"
cmake --build example >>example.log || fail "the example does not build: $(cat example.log)"
example/make_texture "$source/demo/demo2.bmp" cmake.png 96 64 >/dev/null
cmp program.png cmake.png || fail "the example built with CMake makes other bytes than the program"
# shellcheck disable=SC2046
c++ -std=c++20 "$prefix/share/doc/texsynth/examples/make_texture.cpp" -o make_texture \
    $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs texsynth)
LD_LIBRARY_PATH="$prefix/lib" ./make_texture "$source/demo/demo2.bmp" pkg-config.png 96 64 >/dev/null
cmp program.png pkg-config.png || fail "the example built with pkg-config makes other bytes than the program"

if [ -n "$python_dir" ]; then
    modules=$prefix/$python_dir
    PYTHONPATH="$modules" /usr/bin/python3 -c 'import texsynth; print(texsynth.__file__, texsynth.__version__)' \
        >python.txt
    case "$(cat python.txt)" in
    "$modules"/texsynth*" ${version#texsynth }") ;;
    *) fail "the Python module is not installed in $python_dir: import texsynth gives $(cat python.txt)" ;;
    esac
fi

xargs rm <"$manifest"
left=$(find "$prefix" ! -type d)
[ -z "$left" ] || fail "uninstalling by the manifest leaves: $left"
