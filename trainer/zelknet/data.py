"""Training positions: lines "<EPD> ce <score>; gr <result>;" as the engine's data jobs
write them (score and result from the side to move's point of view), turned into feature
lists and targets and cached as .npz next to the input."""

import os
import re

import numpy as np

from . import features as fx

CE = re.compile(r"\bce\s+(-?\d+)")
GR = re.compile(r"\bgr\s+([01](?:\.\d+)?)")


def parse_line(line, inputs_a):
    """(features, phase, head-1 flag, score, result) or None for a line the net never sees."""
    fields = line.split()
    if len(fields) < 4:
        return None
    ce, gr = CE.search(line), GR.search(line)
    if not ce or not gr:
        return None
    board = fx.parse_fen(" ".join(fields[:4]))
    if not fx.network_sees(board):
        return None
    feats, _ = fx.features(board, inputs_a)
    return feats, fx.phase(board), board, int(ce.group(1)), float(gr.group(1))


def load(paths, inputs_a=fx.STANDARD_INPUTS, outputs=2, limit=None):
    """Arrays: flat features with offsets, phase, head, score, result."""
    flat, offsets, phases, heads, scores, results = [], [], [], [], [], []
    for path in paths:
        with open(path, errors="replace") as f:
            for line in f:
                r = parse_line(line, inputs_a)
                if r is None:
                    continue
                feats, ph, board, score, result = r
                offsets.append(len(flat))
                flat.extend(feats)
                phases.append(ph)
                heads.append(fx.head(board, outputs))
                scores.append(score)
                results.append(result)
                if limit and len(scores) >= limit:
                    break
    return {
        "features": np.asarray(flat, dtype=np.int64),
        "offsets": np.asarray(offsets, dtype=np.int64),
        "phase": np.asarray(phases, dtype=np.float32),
        "head": np.asarray(heads, dtype=np.int64),
        "score": np.asarray(scores, dtype=np.float32),
        "result": np.asarray(results, dtype=np.float32),
    }


def load_cached(path, inputs_a=fx.STANDARD_INPUTS, outputs=2):
    cache = f"{path}.{inputs_a}.{outputs}.npz"
    if os.path.exists(cache) and os.path.getmtime(cache) >= os.path.getmtime(path):
        with np.load(cache) as z:
            return {k: z[k] for k in z.files}
    d = load([path], inputs_a, outputs)
    np.savez(cache, **d)
    return d


def targets(d, lam):
    """lam * sigmoid(score / 166.67) + (1 - lam) * result."""
    p = 1.0 / (1.0 + np.exp(-np.clip(d["score"], -4000, 4000) / 166.67))
    return (lam * p + (1.0 - lam) * d["result"]).astype(np.float32)
