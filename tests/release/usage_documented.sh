#!/usr/bin/env bash
# Every command and option that `gridshift-cli --help` names is in its manual
# page as man shows it, and its bash completion offers it where it belongs.
#
#   usage_documented.sh GRIDSHIFT-CLI MANPAGE COMPLETION
set -euo pipefail
cli=$1 manpage=$2 completion=$3
if ! command -v man >/dev/null; then
    echo "Skipped: no man (package man-db) to show the page with"
    exit 77
fi

page="$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$manpage")"
# shellcheck source=/dev/null
source "$completion"
offered() {  # the words the completion offers after the given ones
    COMP_WORDS=(gridshift-cli "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _gridshift_cli
    printf '%s\n' "${COMPREPLY[@]}"
}

failed=0
fail() { echo "$*"; failed=1; }
# Usage lines start with a command, or with the options that stand for one,
# and continue on lines indented further.
command=
while IFS= read -r line; do
    if [[ $line =~ ^\ \ ([a-z]+)\  ]]; then
        command=${BASH_REMATCH[1]}
        grep -qw -- "$command" <<<"$page" || fail "the manual page lacks the command $command"
        grep -qx -- "$command" <<<"$(offered "${command:0:2}")" || fail "completion does not offer $command"
    elif [[ $line =~ ^\ \ -- ]]; then
        command=
    fi
    for option in $(grep -o -- '--[a-z-]*[a-z]' <<<"$line" || true); do
        grep -q -- "$option\b" <<<"$page" || fail "the manual page lacks $option"
        if [ -n "$command" ]; then
            grep -qx -- "$option" <<<"$(offered "$command" DIR --)" || fail "completion does not offer $option after $command"
        else
            grep -qx -- "$option" <<<"$(offered --)" || fail "completion does not offer $option first"
        fi
    done
done < <("$cli" --help)
exit $failed
