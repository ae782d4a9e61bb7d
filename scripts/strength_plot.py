#!/usr/bin/python3
"""Plots requested against measured strength from docs/strength-points.csv.

Each row: tc,requested,games,score,elo,error where elo is the measured
difference to the reference at the requested UCI_Elo (error: 95 % bound).
Writes docs/strength.png: measured strength (requested + elo) with its
error bar against the requested one, the diagonal and a +-70 Elo band.
Run with /usr/bin/python3 (Debian's matplotlib).
"""
import csv
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

here = os.path.dirname(os.path.abspath(__file__))
points = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "docs", "strength-points.csv")
out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "docs", "strength.png")

series = {}
with open(points) as f:
    for row in csv.DictReader(f):
        series.setdefault(row["tc"], []).append(row)

fig, ax = plt.subplots(figsize=(6, 6))
low, high = 1300, 3000
ax.plot([low, high], [low, high], color="black", linewidth=1, label="requested = measured")
ax.fill_between([low, high], [low - 70, high - 70], [low + 70, high + 70], color="grey", alpha=0.2,
                label="within 70 Elo")
for (tc, rows), offset, marker in zip(sorted(series.items()), (-12, 12, 0), ("o", "s", "^")):
    x = [int(r["requested"]) + offset for r in rows]
    y = [int(r["requested"]) + float(r["elo"]) for r in rows]
    e = [float(r["error"]) for r in rows]
    games = sum(int(r["games"]) for r in rows)
    ax.errorbar(x, y, yerr=e, fmt=marker, capsize=4, label=f"{tc} ({games} games)")
ax.set_xlim(low, high)
ax.set_ylim(low, high)
ax.set_xlabel("UCI_Elo requested")
ax.set_ylabel("measured against Stockfish 15.1 at the same UCI_Elo")
ax.set_title("Zelk's strength limit")
ax.grid(True, alpha=0.3)
ax.legend(loc="upper left")
fig.tight_layout()
fig.savefig(out, dpi=100)
print("wrote", out)
