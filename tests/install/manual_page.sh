#!/bin/sh
# The manual page has an entry for every option `texsynth --help` lists and for no other, renders without a
# warning and carries the program's version.
# Usage: manual_page.sh PROGRAM MANUAL_PAGE (the page as built, version filled in)
set -eu
program=$1
page=$2
. "$(dirname "$0")/options.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

help_options "$program" >"$scratch/help"
# The entries of the section OPTIONS: the tag line after each .TP (and the lines it continues onto with \c),
# with roff's minus signs and font changes undone.
awk '/^\.SH/ { in_options = $0 == ".SH OPTIONS" }
     in_options && in_tag { print }
     { in_tag = /^\.TP/ || (in_tag && /\\c$/) }' "$page" |
    sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' | option_words >"$scratch/page"
compare_options "$scratch/help" "texsynth --help" "$scratch/page" "OPTIONS in the manual page (man/texsynth.1)"

warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
    echo "texsynth(1) does not render cleanly:"
    echo "$warnings"
    exit 1
fi
version=$("$program" --version | sed 's/^texsynth //')
if ! grep -q "^\.TH TEXSYNTH 1 .*\"texsynth $version\"" "$page"; then
    echo "texsynth(1) does not name version $version: $(grep '^\.TH' "$page")"
    exit 1
fi
