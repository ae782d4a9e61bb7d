"""Fits the engine's win/draw/loss model to the results of its own games.

Reads training-data files (lines "<FEN> ce <score>; gr <result>;", score and
result from the side to move's point of view, as -mktraindata writes them),
fits

    win(s, m) = 1 / (1 + exp((a(t) - s) / b(t))),  loss(s, m) = win(-s, m),
    draw = 1 - win - loss,  t = clamp(m, 8, 80) / 80,

with a and b polynomials in t, quadratics by default (m: material, pawns 1,
minor pieces 3, rooks 5, queens 10, both sides), by maximum likelihood, and writes a report of the fit
on held-out games: observed against predicted result rates by score bucket
and by material. Prints the coefficients for src/search/wdl.cpp.

    /usr/bin/python3 trainer/wdl_fit.py --fit A.epd --holdout B.epd --report docs/wdl.md
"""
import argparse
import math
import sys

import numpy as np
import torch

VALUES = {"p": 1, "n": 3, "b": 3, "r": 5, "q": 10}
MIN_MATERIAL, MAX_MATERIAL = 8, 80
DECIDED = 9000  # mate and tablebase scores: not part of the model


def read_lines(lines):
    """Scores, materials and results (2 win, 1 draw, 0 loss) of data lines with both."""
    scores, materials, results = [], [], []
    for line in lines:
        at = line.find(" ce ")
        gr = line.find(" gr ")
        if at < 0 or gr < 0:
            continue
        score = int(line[at + 4:line.index(";", at)])
        if abs(score) >= DECIDED:
            continue
        result = float(line[gr + 4:line.index(";", gr)])
        board = line.split(" ", 1)[0]
        materials.append(sum(VALUES.get(c.lower(), 0) for c in board))
        scores.append(score)
        results.append(int(round(result * 2)))
    return np.array(scores, float), np.array(materials, float), np.array(results, int)


def read(paths):
    parts = []
    for path in paths:
        with open(path) as f:
            parts.append(read_lines(f))
    return tuple(np.concatenate(p) for p in zip(*parts))


def polynomial(coefficients, t):
    value = 0
    for c in reversed(coefficients):
        value = value * t + c
    return value


def chances(params, s, m, xp=torch):
    """Win, draw and loss probabilities; params: a's coefficients, then b's."""
    t = xp.clip(m, MIN_MATERIAL, MAX_MATERIAL) / MAX_MATERIAL
    n = len(params) // 2
    a = polynomial(params[:n], t)
    b = polynomial(params[n:], t)
    sig = (lambda x: torch.sigmoid(x)) if xp is torch else (lambda x: 1 / (1 + np.exp(-x)))
    win = sig((s - a) / b)
    loss = sig((-s - a) / b)
    return win, 1 - win - loss, loss


def fit(s, m, r, degree, material_blind=False):
    s_t, m_t = torch.tensor(s), torch.tensor(m)
    if material_blind:
        m_t = torch.full_like(m_t, float(MAX_MATERIAL))
    r_t = torch.tensor(r)
    n = degree + 1
    start = [150.0] + [0.0] * degree + [80.0] + [0.0] * degree
    raw = torch.tensor(start, dtype=torch.float64, requires_grad=True)
    mask = torch.tensor([1.0] + [0.0] * degree + [1.0] + [0.0] * degree, dtype=torch.float64) \
        if material_blind else torch.ones(2 * n, dtype=torch.float64)
    opt = torch.optim.LBFGS([raw], max_iter=500, line_search_fn="strong_wolfe")

    def nll():
        opt.zero_grad()
        w, d, l = chances(raw * mask, s_t, m_t)
        p = torch.stack([l, d, w], 1).gather(1, r_t[:, None])[:, 0]
        loss = -torch.log(p.clamp_min(1e-12)).mean()
        loss.backward()
        return loss

    for _ in range(5):
        opt.step(nll)
    return (raw * mask).detach().numpy()


def log_loss(params, s, m, r):
    w, d, l = chances(params, s, m, np)
    p = np.stack([l, d, w], 1)[np.arange(len(r)), r]
    return float(-np.log(np.clip(p, 1e-12, None)).mean())


def rates_table(params, s, m, r, edges, label):
    lines = [f"| {label} | positions | observed W / D / L % | predicted W / D / L % |", "|---|---|---|---|"]
    w, d, l = chances(params, s, m, np)
    for lo, hi in zip(edges[:-1], edges[1:]):
        sel = (s >= lo) & (s < hi) if label == "score" else (m >= lo) & (m < hi)
        n = int(sel.sum())
        if n == 0:
            continue
        obs = [100 * float(np.mean(r[sel] == k)) for k in (2, 1, 0)]
        pred = [100 * float(x[sel].mean()) for x in (w, d, l)]
        name = f"{int(lo)} .. {int(hi) - 1}" if math.isfinite(lo) and math.isfinite(hi) else (
            f"below {int(hi)}" if not math.isfinite(lo) else f"{int(lo)} and up")
        lines.append(f"| {name} | {n} | {obs[0]:.1f} / {obs[1]:.1f} / {obs[2]:.1f} | "
                     f"{pred[0]:.1f} / {pred[1]:.1f} / {pred[2]:.1f} |")
    return "\n".join(lines)


def residual_table(params, s, m, r):
    """Observed less predicted win and draw rates, in points, by material and score."""
    w, d, _ = chances(params, s, m, np)
    scores = [(-250, -150), (-150, -50), (-50, 50), (50, 150), (150, 250)]
    lines = ["| material | " + " | ".join(f"{lo} .. {hi - 1}" for lo, hi in scores) + " |",
             "|---" * (len(scores) + 1) + "|"]
    for lo, hi in [(0, 16), (16, 32), (32, 56), (56, 81)]:
        cells = []
        for a, b in scores:
            sel = (m >= lo) & (m < hi) & (s >= a) & (s < b)
            if not sel.any():
                cells.append("")
                continue
            dw = 100 * (np.mean(r[sel] == 2) - w[sel].mean())
            dd = 100 * (np.mean(r[sel] == 1) - d[sel].mean())
            cells.append(f"{dw:+.1f} / {dd:+.1f}")
        lines.append(f"| {lo} .. {hi - 1} | " + " | ".join(cells) + " |")
    return "\n".join(lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--fit", nargs="+", required=True, help="training-data files to fit on")
    ap.add_argument("--holdout", nargs="+", required=True, help="files of other games to judge the fit on")
    ap.add_argument("--report", help="markdown report to write")
    ap.add_argument("--degree", type=int, default=2, help="degree of the polynomials a(t) and b(t)")
    ap.add_argument("--fit-range", type=int, default=500, help="fit on scores within +-this many centipawns")
    ap.add_argument("--comment", default="", help="a paragraph on the fit, for the report")
    ap.add_argument("--note", default="", help="a line on where the data came from, for the report")
    args = ap.parse_args()

    s, m, r = read(args.fit)
    hs, hm, hr = read(args.holdout)
    # The fit takes the scores an interface shows in a game still open; far
    # beyond, the few draws of lost causes would widen the curves for all.
    keep = np.abs(s) <= args.fit_range
    s, m, r = s[keep], m[keep], r[keep]
    if len(s) == 0 or len(hs) == 0:
        sys.exit("no positions with a score and a result")
    params = fit(s, m, r, args.degree)
    blind = fit(s, m, r, args.degree, material_blind=True)
    const = lambda p: ", ".join(f"{x:.3f}" for x in p)
    n = args.degree + 1
    code = (f"constexpr double A[{n}] = {{{const(params[:n])}}};\n"
            f"constexpr double B[{n}] = {{{const(params[n:])}}};")
    print(code)

    score_edges = [-math.inf, -600, -400] + list(range(-300, 301, 50)) + [400, 600, math.inf]
    material_edges = [0, 16, 24, 32, 40, 48, 56, 64, 72, 81]
    blind_loss = log_loss(np.array(blind), hs, np.full_like(hm, MAX_MATERIAL), hr)
    report = f"""# The win/draw/loss model

"UCI_ShowWDL" shows the side to move's chances of a win, a draw and a loss beside each score, in per
mille, from the score s (centipawns) and the material m on the board (pawns 1, knights and bishops 3,
rooks 5, queens 10, both sides; 80 at the start):

    win = 1 / (1 + exp((a - s) / b)),  loss = 1 / (1 + exp((a + s) / b)),  draw = 1 - win - loss,
    t = clamp(m, 8, 80) / 80,  a = A[0] + A[1] t + A[2] t^2 + ...,  b = B[0] + B[1] t + ...

with polynomials of degree {args.degree}. Mate and tablebase scores count as sure results, and so does a draw the tablebases give at the root. The coefficients are fitted by maximum likelihood to
the results of the engine's own games (`trainer/wdl_fit.py`; they stand in `src/search/wdl.cpp`):

    {code.replace(chr(10), chr(10) + '    ')}

{args.note}

Fitted on the {len(s)} positions with scores within ±{args.fit_range}, judged on {len(hs)} positions of other games (another seed).
Mean log-loss per position on the held-out games: {log_loss(params, hs, hm, hr):.4f} with material,
{blind_loss:.4f} without it (a and b fixed), {math.log(3):.4f} for a blind guess.

{args.comment}

## Held-out games by score (side to move)

{rates_table(params, hs, hm, hr, score_edges, "score")}

## Held-out games by material

{rates_table(params, hs, hm, hr, material_edges, "material")}

## Held-out games: observed less predicted win / draw rate, in points

{residual_table(params, hs, hm, hr)}
"""
    if args.report:
        with open(args.report, "w") as f:
            f.write(report)
    else:
        print(report)


if __name__ == "__main__":
    main()
