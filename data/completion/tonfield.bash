# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for tonfield: sub-commands, their options and values, and
# audio files where a file is expected.

_tonfield()
{
    local cur prev words cword split
    _init_completion -s || return

    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            separate | history | export | log | engines | analyze | help)
                command=${words[i]}
                break
                ;;
        esac
    done

    case $prev in
        --mode)
            COMPREPLY=($(compgen -W 'vocal four six' -- "$cur"))
            return
            ;;
        --format)
            COMPREPLY=($(compgen -W 'WAV FLAC MP3' -- "$cur"))
            return
            ;;
        --engine | --export)
            _filedir -d
            return
            ;;
    esac
    $split && return

    local audio='@(mp3|wav|flac|m4a|ogg|aac|aiff|aif|wma|MP3|WAV|FLAC|M4A|OGG|AAC|AIFF|AIF|WMA)'
    case $command in
        "")
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--help --help-all --version' -- "$cur"))
            elif [[ $cword -eq 1 ]]; then
                COMPREPLY=($(compgen -W 'separate history export log engines analyze help' -- "$cur"))
                _filedir "$audio"
            else
                _filedir "$audio"
            fi
            ;;
        separate)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--mode= --format= --high --engine= --export= --help' -- "$cur"))
                [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
            else
                _filedir "$audio"
            fi
            ;;
        analyze)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--json --engine= --help' -- "$cur"))
                [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
            else
                _filedir "$audio"
            fi
            ;;
        history)
            COMPREPLY=($(compgen -W '--json --engine= --help' -- "$cur"))
            [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
            ;;
        export | log)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--engine= --help' -- "$cur"))
                [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
            elif [[ $command == export ]]; then
                _filedir -d
            fi
            ;;
        engines)
            # engines [setup NAME | use NAME]: the names are the installed templates'.
            if [[ $prev == setup || $prev == use ]]; then
                local names=reference template
                for template in /usr/share/tonfield/engines/*/; do
                    [[ -d $template ]] && names+=" $(basename "$template")"
                done
                COMPREPLY=($(compgen -W "$names" -- "$cur"))
            elif [[ $prev == engines ]]; then
                COMPREPLY=($(compgen -W 'setup use --help' -- "$cur"))
            fi
            ;;
        help)
            COMPREPLY=($(compgen -W 'separate history export log engines analyze help' -- "$cur"))
            ;;
    esac
} &&
    complete -F _tonfield tonfield
