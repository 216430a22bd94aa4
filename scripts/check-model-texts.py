#!/usr/bin/env python3
"""Fails when a C++ string or character literal with a non-ASCII character
appears in the given folders outside comments. The model layers report kinds
and values; the words the user reads are made above them, where they are
translated."""
import pathlib
import re
import sys

TOKEN = re.compile(
    r'//[^\n]*'                               # line comment
    r'|/\*.*?\*/'                             # block comment
    r'|(?:u8|u|U|L)?R"([^(\s]*)\((.*?)\)\1"'  # raw string
    r'|(?:u8|u|U|L)?"(?:\\.|[^"\\\n])*"'      # string
    r"|(?<![0-9A-Za-z_])'(?:\\.|[^'\\\n])*'",  # character (not a digit separator)
    re.S)


def findings(path):
    text = path.read_text(encoding='utf-8')
    for match in TOKEN.finditer(text):
        token = match.group(0)
        if token.startswith('//') or token.startswith('/*'):
            continue
        if any(ord(c) > 127 for c in token):
            line = text.count('\n', 0, match.start()) + 1
            yield line, token


def main(folders):
    bad = 0
    for folder in folders:
        for path in sorted(pathlib.Path(folder).rglob('*')):
            if path.suffix not in ('.cpp', '.h'):
                continue
            for line, token in findings(path):
                print(f'{path}:{line}: user-visible text in a model layer: {token}', file=sys.stderr)
                bad += 1
    if bad:
        print(f'{bad} literal(s): report a kind and values, and word it in src/ui, src/app, '
              'src/platform, src/i18n or tools', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
