#!/usr/bin/python3
"""Appends the positions of data lines ("<EPD> ce <score>; gr <result>;", as the engine's data
jobs write them) to a packed file, skipping every position the file already holds.

  /usr/bin/python3 trainer/pack.py OUT.zkd IN.epd [IN2.epd ...]
"""

import sys

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from zelknet import packed  # noqa: E402

CHUNK = 4_000_000


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__.strip())
    out = sys.argv[1]
    for path in sys.argv[2:]:
        lines, written, read = [], 0, 0
        with open(path, errors="replace") as f:
            for line in f:
                lines.append(line)
                if len(lines) == CHUNK:
                    written += packed.append_unique(out, packed.pack_lines(lines))
                    read += len(lines)
                    lines = []
        if lines:
            written += packed.append_unique(out, packed.pack_lines(lines))
            read += len(lines)
        print(f"{path}: {read} lines, {written} new positions -> {out}", flush=True)
    print(f"{out}: {len(packed.load(out))} positions")


if __name__ == "__main__":
    main()
