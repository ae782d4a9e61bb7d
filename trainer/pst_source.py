#!/usr/bin/python3
"""Turns a parameter file into the built-in piece-square tables.

Usage: pst_source.py PARAMS [TABLES_CPP]

Reads PARAMS (lines "name, mg, eg" or fset("name", mg, eg), records in table
order) and rewrites the 64-entry tables of TABLES_CPP (by default
src/eval/pst_tables.cpp beside this folder) in place. Everything but the
numbers stays as it is: the rows run from rank 8 down to rank 1, and the
entry in row r, file f is parameter record (8 * r + f) XOR 56 of its table.
Standard library only.
"""

import os
import re
import sys

ROW = re.compile(r'^(\s*)((?:\{\s*-?\d+,\s*-?\d+\},\s*){8})(//.*)?$')
PAIR = re.compile(r'\{\s*(-?\d+),\s*(-?\d+)\}')
NAMES = re.compile(r'PST_NAMES\[PST_COUNT\]\s*=\s*\{([^}]*)\}')


def read_params(path):
    """The records of each piece-square table, in file order: name -> [(mg, eg)]."""
    tables = {}
    with open(path, encoding='ascii') as f:
        for number, line in enumerate(f, 1):
            fields = [t for t in re.split(r'[(),"\n]', line) if t.strip()]
            if fields and 'fset' in fields[0]:
                fields = fields[1:]
            if len(fields) < 3:
                if line.strip():
                    raise ValueError('%s:%d: not "name, mg, eg"' % (path, number))
                continue
            name = fields[0].strip()
            if name.startswith('PST_'):
                tables.setdefault(name, []).append((int(fields[1]), int(fields[2])))
    return tables


def table_order(text):
    match = NAMES.search(text)
    if not match:
        raise ValueError('no PST_NAMES list in the table source')
    return re.findall(r'"([^"]+)"', match.group(1))


def rewrite(text, tables):
    names = table_order(text)
    for name in names:
        if len(tables.get(name, [])) != 64:
            raise ValueError('%s: %d records in the parameter file, 64 needed'
                             % (name, len(tables.get(name, []))))
    out = []
    rows = 0
    start = text.find('PST_DEFAULTS')
    head, body = text[:start], text[start:]
    for line in body.split('\n'):
        match = ROW.match(line)
        if match and rows < 8 * len(names):
            table, row = names[rows // 8], rows % 8
            values = tables[table]
            cells = ['{%3d, %3d}' % values[(8 * row + f) ^ 56] for f in range(8)]
            # Keep the blanks between the last entry and the comment.
            tail = match.group(2)[len(match.group(2).rstrip()):]
            line = match.group(1) + ', '.join(cells) + ',' + tail + (match.group(3) or '')
            rows += 1
        out.append(line)
    if rows != 8 * len(names):
        raise ValueError('found %d table rows, expected %d' % (rows, 8 * len(names)))
    return head + '\n'.join(out)


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    target = argv[2] if len(argv) == 3 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '..', 'src', 'eval', 'pst_tables.cpp')
    try:
        tables = read_params(argv[1])
        with open(target, encoding='ascii', newline='') as f:
            text = f.read()
        new_text = rewrite(text, tables)
    except (OSError, ValueError) as error:
        sys.stderr.write('pst_source: %s\n' % error)
        return 1
    temporary = target + '.new'
    with open(temporary, 'w', encoding='ascii', newline='') as f:
        f.write(new_text)
    os.replace(temporary, target)
    print('pst_source: wrote %d tables to %s' % (len(table_order(text)), target))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
