#!/bin/sh
# Runs a command with its output going through two unlinked files, which two
# tails copy to this script's own output and error. Programs the command
# starts and leaves running (Wine's desktop and services, when a test is the
# first to need them) inherit the files, not the caller's pipes, so a test
# runner waiting for the end of its output sees it when the command ends.
out=$(mktemp) && err=$(mktemp) || exit 1
exec 3>"$out" 4<"$out" 5>"$err" 6<"$err"
rm -f "$out" "$err"
tail -f -n +1 -s 0.05 --pid=$$ <&4 3>&- 4<&- 5>&- 6<&- &
tail -f -n +1 -s 0.05 --pid=$$ <&6 >&2 3>&- 4<&- 5>&- 6<&- &
exec 4<&- 6<&-
"$@" >&3 2>&5 3>&- 5>&-
