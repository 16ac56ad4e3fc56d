#!/bin/bash
# The bash completion offers every option `texsynth --help` lists and no other, the values of --match, and file
# names (pictures only where a picture is wanted) for the input and the options that take a file.
# Usage: completion.sh PROGRAM COMPLETION_SCRIPT
set -u
program=$1
. /usr/share/bash-completion/bash_completion
. "$2"
. "$(dirname "$0")/options.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Outside a real completion compopt only complains.
compopt() { :; }

# What completing the last of the given words offers, one a line, sorted. The words are as bash splits the
# line ("--mask=a" is --mask, =, a).
completions() {
    local line="" previous="" word
    for word in "$@"; do
        if [[ -z $line ]]; then
            line=$word
        elif [[ $word == = || $previous == = ]]; then
            line+=$word
        else
            line+=" $word"
        fi
        previous=$word
    done
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _texsynth texsynth "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    [[ ${#COMPREPLY[@]} -eq 0 ]] || printf '%s\n' "${COMPREPLY[@]}" | sed 's/=$//' | sort -u
}

status=0
# Says what completing WORDS... should have offered if it offered something else.
expect() {
    local expected=$1 got
    shift
    got=$(completions "$@" | tr '\n' ' ')
    if [[ $got != "$expected" ]]; then
        echo "completing \"texsynth ${*:2}\" offers \"$got\", expected \"$expected\""
        status=1
    fi
}

help_options "$program" >"$scratch/help"
completions texsynth - >"$scratch/offered"
compare_options "$scratch/help" "texsynth --help" "$scratch/offered" "the completion (completion/texsynth.bash)" ||
    status=1

cd "$scratch"
mkdir maps
touch stones.jpg moss.PNG notes.txt map.png wall.bmp
expect "--make-tileable --mask --match --match-also " texsynth --ma
expect "coherent " texsynth --match = co
expect "approximate coherent exact refined " texsynth --match =
expect "map.png maps moss.PNG stones.jpg wall.bmp " texsynth --mask =
expect "map.png maps moss.PNG stones.jpg wall.bmp " texsynth --guide =
expect "map.png maps " texsynth --save-map = ma
expect "map.png maps moss.PNG wall.bmp " texsynth -o ''
expect "map.png maps moss.PNG stones.jpg wall.bmp " texsynth --seed = 2 ''
expect "" texsynth --size = ''
expect "" texsynth -- -
exit $status
