#!/bin/sh
# Usage: convert-language.sh MIRELO_CONVERT
# mirelo-convert speaks the locale's language, a whole line in one language,
# and its exit status does not depend on it.
set -u
convert="$1"
status=0
run() {  # LANG, then the arguments
  lang="$1"
  shift
  env -u MIRELO_LANG -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG="$lang" "$convert" "$@" 2>&1
}
expect() {  # what, expected, actual
  if [ "$2" != "$3" ]; then
    echo "$1: expected '$2', got '$3'" >&2
    status=1
  fi
}
missing=/nonexistent-mirelo-frames
expect "C error" "mirelo-convert: no such file or folder: $missing" "$(run C "$missing" out.gif)"
run C "$missing" out.gif >/dev/null
expect "C exit status" 1 "$?"
expect "English error" "mirelo-convert: no such file or folder: $missing" "$(run en_GB.UTF-8 "$missing" out.gif)"
expect "Chinese error" "mirelo-convert: 没有这个文件或文件夹:$missing" "$(run zh_CN.UTF-8 "$missing" out.gif)"
run zh_CN.UTF-8 "$missing" out.gif >/dev/null
expect "Chinese exit status" 1 "$?"
expect "C usage" "Usage: mirelo-convert [options] INPUT OUTPUT" "$(run C --help | head -1)"
expect "Chinese usage" "用法: mirelo-convert [选项] 输入 输出文件" "$(run zh_CN.UTF-8 --help | head -1)"
expect "forced English" "mirelo-convert: unknown option --bogus (see --help)" \
  "$(MIRELO_LANG=en LANG=zh_CN.UTF-8 "$convert" --bogus a b 2>&1)"
exit $status
