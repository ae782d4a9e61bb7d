#!/usr/bin/python3
"""Compares static evaluations with the search scores and game results of a data file.

  /usr/bin/python3 trainer/yardstick.py HOLDOUT.epd 10000 build/zelk [other/zelk ...]

Each engine reads the positions through its console ("fen", "ev"): the first is also run with
-use_hce for the hand-crafted evaluation, the others with the network beside them. Prints per
evaluation the squared error of its win probability (score / 166.67) against the search score's
(mse_ce) and against the game result (mse_gr), over the positions the network sees. Use a file
made by a seed that no training file used.
"""

import random
import re
import subprocess
import sys

import numpy as np

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from zelknet import data, features as fx  # noqa: E402


def sample(path, count):
    with open(path, errors="replace") as f:
        lines = [line for line in f if " ce " in line]
    random.Random(5).shuffle(lines)
    rows = []
    for line in lines:
        fields = line.split()
        if not fx.network_sees(fx.parse_fen(" ".join(fields[:4]))):
            continue
        rows.append((" ".join(fields[:4]) + " 0 1", int(data.CE.search(line).group(1)),
                     float(data.GR.search(line).group(1))))
        if len(rows) >= count:
            break
    return rows


def static_evals(cmd, rows):
    script = "".join(f"fen {r[0]}\nev\n" for r in rows) + "quit\n"
    out = subprocess.run(cmd, input=script, capture_output=True, text=True, check=False).stdout
    # The network prints "NN eval= n"; the hand-crafted breakdown ends with "eval= n".
    found = [int(v) for v in re.findall(r"eval=\s*(-?\d+)", out)]
    if len(found) != len(rows):
        sys.exit(f"{' '.join(cmd)}: {len(found)} evaluations for {len(rows)} positions")
    return np.array(found, dtype=float)


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    rows = sample(sys.argv[1], int(sys.argv[2]))
    ce = np.array([r[1] for r in rows], dtype=float)
    gr = np.array([r[2] for r in rows])

    def win(x):
        return 1.0 / (1.0 + np.exp(-x / 166.67))

    runs = [("hand-crafted", [sys.argv[3], "-use_hce", "-c"])]
    runs += [(path, [path, "-c"]) for path in sys.argv[3:]]
    for name, cmd in runs:
        e = static_evals(cmd, rows)
        # The factor on the evaluation that would fit the search scores best: above 1, the
        # evaluation is too timid; below 1, too bold.
        scales = np.arange(0.5, 2.0, 0.01)
        fit = scales[np.argmin([((win(s * e) - win(ce)) ** 2).mean() for s in scales])]
        print(f"{name:32s} n={len(e)} mse_ce={((win(e) - win(ce)) ** 2).mean():.6f} "
              f"mse_gr={((win(e) - gr) ** 2).mean():.6f} mean|eval|={np.abs(e).mean():.0f} "
              f"best scale={fit:.2f}")


if __name__ == "__main__":
    main()
