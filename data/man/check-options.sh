#!/bin/sh
# Usage: check-options.sh PROGRAM MAN_PAGE
# Fails when an option that `PROGRAM --help` lists is not described in the
# man page (whose dashes are written \-).
set -eu
page_text=$(sed 's/\\-/-/g' "$2")
status=0
for option in $("$1" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  # An option is described where a .B/.BI/.BR line names it.
  if ! printf '%s\n' "$page_text" | grep -qE "^\.B[IR]? (.* )?\"?$option([^a-z-]|\$)"; then
    echo "$2 does not describe $option" >&2
    status=1
  fi
done
exit $status
