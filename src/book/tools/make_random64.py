#!/usr/bin/env python3
"""Writes src/book/random64.h, the constexpr table of the 781 Polyglot key
values, from the published list (one hexadecimal value a line, '#' comments).

Usage: make_random64.py polyglot-random64.txt > src/book/random64.h
"""
import sys

values = []
with open(sys.argv[1]) as f:
    for line in f:
        line = line.strip()
        if line and not line.startswith("#"):
            values.append(int(line, 16))
if len(values) != 781:
    sys.exit(f"expected 781 values, found {len(values)}")

out = sys.stdout
out.write("// The 781 published Polyglot key values in index order: 0..767 men\n")
out.write("// (64 * kind + square), 768..771 castling rights, 772..779 en-passant file,\n")
out.write("// 780 white to move. Written by tools/make_random64.py; do not edit.\n")
out.write("#pragma once\n\n#include <array>\n#include <cstdint>\n\nnamespace zelk {\n\n")
out.write("inline constexpr std::array<uint64_t, 781> POLYGLOT_RANDOM = {\n")
for i in range(0, 781, 3):
    row = ", ".join(f"0x{v:016X}ULL" for v in values[i:i + 3])
    out.write(f"    {row},\n")
out.write("};\n\n} // namespace zelk\n")
