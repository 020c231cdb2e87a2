# SPDX-License-Identifier: MIT
# bash completion for corvel: commands, their options, interface names and files.

_corvel() {
    local cur prev words cword
    _init_completion || return

    local commands="interfaces probe scan monitor devices report set-network password add-device
        rename remove upgrade stats tonemap restart derive pib nvm"
    local global="-h --help --version -i --interface -q --quiet -v --verbose"

    case $prev in
        -i|--interface)
            # Ethernet interfaces only (the loopback is none), each after the commas of a list.
            local names="" n head=""
            for n in /sys/class/net/*; do
                [ "$(cat "$n/type" 2>/dev/null)" = 1 ] && names+=" ${n##*/}"
            done
            [[ $cur == *,* ]] && head=${cur%,*},
            COMPREPLY=($(compgen -P "$head" -W "$names" -- "${cur##*,}"))
            return ;;
        --data-dir)
            _filedir -d
            return ;;
        --nvm|--pib|--cfg|--img)
            _filedir
            return ;;
        --cycles|--slot|--interval|--listen)
            return ;;
    esac

    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            -i|--interface|--data-dir|--nvm|--pib|--cfg|--img|--cycles|--slot|--interval|--listen) ((i++)) ;;
            -*) ;;
            *) command=${words[i]}; break ;;
        esac
    done

    local options=""
    case $command in
        "") COMPREPLY=($(compgen -W "$commands $global" -- "$cur")); return ;;
        interfaces|probe) options="--json" ;;
        scan) options="--cycles --json --data-dir" ;;
        monitor) options="--interval --listen --json-lines --data-dir" ;;
        devices) options="--json --data-dir" ;;
        report) options="--no-passwords --data-dir"; _filedir ;;
        set-network) options="--public --local-only --yes --data-dir" ;;
        password)
            # After the MAC: "-" reads the password from standard input.
            options="--data-dir"
            [ "$cword" -eq $((i + 2)) ] && options="- --data-dir" ;;
        rename) options="--data-dir" ;;
        add-device)
            # After the name: "-" reads the password from standard input.
            options="--cycles --data-dir"
            [ "$cword" -eq $((i + 2)) ] && options="- --cycles --data-dir" ;;
        remove) options="--yes --data-dir" ;;
        upgrade) options="--nvm --pib --cfg --img --resume --yes --data-dir" ;;
        stats) options="--json" ;;
        tonemap) options="--rx --slot --json --csv" ;;
        restart) options="--local --yes" ;;
        derive)
            [ "$cword" -eq $((i + 1)) ] && options="nmk dak nek nid" ;;
        pib|nvm)
            if [ "$cword" -eq $((i + 1)) ]; then
                [ "$command" = pib ] && options="check set-mac" || options="check"
            else
                # Only check prints JSON; set-mac takes a file and a MAC.
                [ "${words[i + 1]}" = check ] && options="--json"
                _filedir
            fi ;;
    esac
    COMPREPLY+=($(compgen -W "$options --help" -- "$cur"))
}
complete -F _corvel corvel
