"""Training positions: lines "<EPD> ce <score>; gr <result>;" as the engine's data jobs
write them (score and result from the side to move's point of view), turned into feature
lists and targets and cached as .npz next to the input."""

import multiprocessing
import os
import re
import zipfile

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


def parse_lines(lines, inputs_a=fx.STANDARD_INPUTS, outputs=2):
    """Arrays of the lines the net sees: flat features (int16) with offsets, phase, head,
    score, result."""
    flat, offsets, phases, heads, scores, results = [], [], [], [], [], []
    for line in lines:
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
    return {
        "features": np.asarray(flat, dtype=np.int16),
        "offsets": np.asarray(offsets, dtype=np.int64),
        "phase": np.asarray(phases, dtype=np.float32),
        "head": np.asarray(heads, dtype=np.int64),
        "score": np.asarray(scores, dtype=np.float32),
        "result": np.asarray(results, dtype=np.float32),
    }


def merge(parts):
    """One set of arrays from several, in order."""
    out = {k: [] for k in parts[0]}
    base = 0
    for p in parts:
        for k in out:
            out[k].append(p["offsets"] + base if k == "offsets" else p[k])
        base += len(p["features"])
    return {k: np.concatenate(v) for k, v in out.items()}


def load(paths, inputs_a=fx.STANDARD_INPUTS, outputs=2):
    parts = []
    for path in paths:
        with open(path, errors="replace") as f:
            parts.append(parse_lines(f, inputs_a, outputs))
    return merge(parts)


def read_range(path, start, end):
    """The lines whose first byte lies in [start, end)."""
    with open(path, "rb") as f:
        if start > 0:
            f.seek(start - 1)
            f.readline()   # the rest of the line that began before start
        while f.tell() < end:
            line = f.readline()
            if not line:
                break
            yield line.decode(errors="replace")


def _parse_range(job):
    path, start, end, inputs_a, outputs = job
    return parse_lines(read_range(path, start, end), inputs_a, outputs)


def load_parallel(path, inputs_a=fx.STANDARD_INPUTS, outputs=2, chunks=None):
    """load([path]) with the file cut into byte ranges parsed on every core; the same arrays."""
    size = os.path.getsize(path)
    chunks = chunks or (1 if size < 1 << 24 else 4 * (os.cpu_count() or 1))
    if chunks == 1:
        return load([path], inputs_a, outputs)
    cuts = [size * i // chunks for i in range(chunks + 1)]
    jobs = [(path, cuts[i], cuts[i + 1], inputs_a, outputs) for i in range(chunks)]
    with multiprocessing.Pool(min(chunks, os.cpu_count() or 1)) as pool:
        return merge(pool.map(_parse_range, jobs))


def cache_path(path, inputs_a, outputs):
    return f"{path}.{inputs_a}.{outputs}.npz"


def ensure_cached(path, inputs_a=fx.STANDARD_INPUTS, outputs=2):
    """The cache file of a data file, parsed and written first when missing or older."""
    cache = cache_path(path, inputs_a, outputs)
    if not (os.path.exists(cache) and os.path.getmtime(cache) >= os.path.getmtime(path)):
        np.savez(cache, **load_parallel(path, inputs_a, outputs))
    return cache


def cached_lengths(cache):
    """{name: length} of the arrays in a cache file, read from their headers only."""
    out = {}
    with zipfile.ZipFile(cache) as z:
        for name in z.namelist():
            with z.open(name) as f:
                version = np.lib.format.read_magic(f)
                read = (np.lib.format.read_array_header_1_0 if version == (1, 0)
                        else np.lib.format.read_array_header_2_0)
                out[name[:-4]] = read(f)[0][0]
    return out


def load_all(paths, inputs_a=fx.STANDARD_INPUTS, outputs=2):
    """merge() of every file's cached arrays, filled into arrays allocated once, so that the
    peak memory is the data plus one file rather than twice the data. The arrays take the types
    parse_lines gives (caches written by older versions may hold wider ones)."""
    caches = [ensure_cached(p, inputs_a, outputs) for p in paths]
    lengths = [cached_lengths(c) for c in caches]
    kinds = parse_lines([], inputs_a, outputs)
    out = {k: np.empty(sum(n[k] for n in lengths), dtype=a.dtype) for k, a in kinds.items()}
    at = {k: 0 for k in out}
    for cache in caches:
        with np.load(cache) as z:
            base = at["features"]
            for k in out:
                a = z[k]
                out[k][at[k]:at[k] + len(a)] = a + base if k == "offsets" else a
                at[k] += len(a)
    return out


def targets(d, lam):
    """lam * sigmoid(score / 166.67) + (1 - lam) * result."""
    p = 1.0 / (1.0 + np.exp(-np.clip(d["score"], -4000, 4000) / 166.67))
    return (lam * p + (1.0 - lam) * d["result"]).astype(np.float32)
