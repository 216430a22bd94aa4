#!/bin/sh
# The screen-cast portal's "dialog" in the test session: notes each time it is
# asked in chooser.log and picks the output named in the file "output"
# (HEADLESS-1 without it), or answers nothing (the user cancelled) while the
# file "refuse" exists.
dir="$(dirname "$0")"
echo asked >>"$dir/chooser.log"
[ -e "$dir/refuse" ] && exit 0
if [ -s "$dir/output" ]; then cat "$dir/output"; else echo HEADLESS-1; fi
