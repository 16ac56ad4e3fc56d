# Shared by the tests of the manual page and the completion: the options a text names, one a line, sorted.

# Every option word in standard input: --name (without any =VALUE) or -x, standing on its own.
option_words() {
    grep -oE '(^|[^A-Za-z0-9_-])--?[A-Za-z][A-Za-z0-9-]*' | sed -E 's/^[^-]*//' | sort -u
}

# The options `PROGRAM --help` lists.
help_options() {
    "$1" --help | option_words
}

# Compares two lists of options and says, one line each, which option one of them lacks:
#   compare_options LIST_A "what A is" LIST_B "what B is"
# Returns non-zero if any is missing.
compare_options() {
    status=0
    for option in $(comm -23 "$1" "$3"); do
        echo "$4 lacks $option, which $2 has"
        status=1
    done
    for option in $(comm -13 "$1" "$3"); do
        echo "$2 lacks $option, which $4 has"
        status=1
    done
    return $status
}
