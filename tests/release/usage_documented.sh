#!/usr/bin/env bash
# Every command and option that `gridshift-cli --help` names is in its manual
# page as man shows it, and its bash completion offers it where it belongs.
#
#   usage_documented.sh GRIDSHIFT-CLI MANPAGE COMPLETION
set -euo pipefail
command -v man >/dev/null || { echo "Skipped: no man (package man-db) to show the page with"; exit 77; }
page="$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$2")"
source "$3"
failed=0
documented() { # WORD, then the words before it for the completion
    local word=$1
    shift
    COMP_WORDS=(gridshift-cli "$@") COMP_CWORD=$# COMPREPLY=()
    _gridshift_cli
    grep -qw -- "$word" <<<"$page" || { echo "the manual page lacks $word"; failed=1; }
    [[ " ${COMPREPLY[*]} " == *" $word "* ]] || { echo "completion does not offer $word after: $*"; failed=1; }
}
# A usage line starts with a command, or with the options that stand for one,
# and goes on on lines indented further.
after=()
while IFS= read -r line; do
    if [[ $line =~ ^\ \ ([a-z]+)\  ]]; then
        after=("${BASH_REMATCH[1]}" DIR)
        documented "${BASH_REMATCH[1]}" "${BASH_REMATCH[1]:0:2}"
    elif [[ $line =~ ^\ \ -- ]]; then
        after=()
    fi
    for option in $(grep -o -- '--[a-z-]*[a-z]' <<<"$line" || true); do
        documented "$option" "${after[@]}" --
    done
done < <("$1" --help)
exit $failed
