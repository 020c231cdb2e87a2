#!/bin/bash
# SPDX-License-Identifier: MIT
# The bash completion offers what each command takes and nothing else: no --json where the
# command refuses it, no loopback for -i, a comma list completed after its last comma.
# $1: completion/corvel.bash. The helpers of the bash-completion package are stood in for.
set -u
. "$1" || exit 1
_init_completion() {
    words=("${COMP_WORDS[@]}") cword=$COMP_CWORD
    cur=${words[cword]} prev=${words[cword - 1]}
}
_filedir() { :; }
compopt() { :; }

failures=0
# offered LINE: the words offered for the last word of LINE (a trailing space starts a new one).
offered() {
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _corvel
    printf '%s\n' "${COMPREPLY[@]}"
}
expect() {  # expect LINE has|lacks WORD
    local words; words=$(offered "$1")
    if grep -qxF -- "$3" <<<"$words"; then found=has; else found=lacks; fi
    if [ "$found" != "$2" ]; then
        echo "'$1' $found '$3'; offered: $(tr '\n' ' ' <<<"$words")"
        failures=$((failures + 1))
    fi
}

expect "corvel " has scan
expect "corvel " has restart
expect "corvel " lacks --json
expect "corvel scan --" has --json
expect "corvel scan --" has --cycles
expect "corvel devices --" has --json
expect "corvel set-network --" lacks --json
expect "corvel set-network --" has --local-only
expect "corvel report --" has --no-passwords
expect "corvel report --" lacks --json
expect "corvel remove 00:B0:52:00:00:11 --" lacks --json
expect "corvel upgrade --" lacks --json
expect "corvel pib check f.pib --" has --json
expect "corvel pib set-mac f.pib --" lacks --json
expect "corvel pib " has set-mac
expect "corvel nvm " lacks set-mac
expect "corvel -i " lacks lo
expect "corvel -i l" lacks lo
# Every interface offered is an Ethernet one; after a comma the list so far is kept.
for name in $(offered "corvel -i "); do
    [ "$(cat "/sys/class/net/$name/type")" = 1 ] || {
        echo "-i offers $name, not Ethernet"; failures=$((failures + 1)); }
done
for item in $(offered "corvel -i first,"); do
    [[ $item == first,* ]] || { echo "-i first, offers $item"; failures=$((failures + 1)); }
done
exit $((failures != 0))
