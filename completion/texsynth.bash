# bash completion for texsynth: its options, the values of --match, and file names for the options that take
# a file and for the input. Installed as share/bash-completion/completions/texsynth, where bash-completion
# loads it the first time texsynth is completed. tests/install/completion.sh checks it against --help.

_texsynth() {
    local cur prev words cword split
    _init_completion -s || return

    # Options come before the input; "--" ends them.
    local i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            _filedir '@(png|jpg|jpeg|bmp)'
            return
        fi
    done

    case $prev in
        --output | -o)
            _filedir '@(png|bmp)'
            return
            ;;
        --save-map | --apply-map)
            _filedir png
            return
            ;;
        --mask | --exemplar | --sample-mask | --guide | --target-guide | --transfer | --match-also)
            _filedir '@(png|jpg|jpeg|bmp)'
            return
            ;;
        --match)
            COMPREPLY=($(compgen -W 'refined coherent exact approximate' -- "$cur"))
            return
            ;;
        --size | --seed | --passes | --levels | --half-sizes | --k | --threads | --make-tileable | --extend | \
            --guide-weight)
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--output= -o --size= --seed= --save-map= --apply-map= --mask= --exemplar=
            --make-tileable --make-tileable= --extend= --sample-mask= --guide= --target-guide= --guide-weight=
            --transfer= --match-also= --match= --k= --passes= --levels= --half-sizes= --threads=
            --quiet --help -h --version' -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir '@(png|jpg|jpeg|bmp)'
} &&
    complete -F _texsynth texsynth
