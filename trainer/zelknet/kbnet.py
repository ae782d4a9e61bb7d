"""The king-bucket network ("ZKN2", docs/network-format.md): its features, its file, the
engine's integer evaluation of it, and the float model with its quantised export.

Positions come as arrays of packed records (zelknet.packed): the features of a batch are
computed with array operations, not square by square.
"""

import struct

import numpy as np
import torch
from torch import nn

MAGIC = b"ZKN2"
VERSION = 1
HEADER_BYTES = 128
PIECE_INPUTS = 768
SCORE_LIMIT = 1919
CRELU, SCRELU = 0, 1

# King bucket layouts by name: the own king's square (a1 = 0, as its side sees it) to a bucket.
# With the mirror the king stands on files a-d only, so files e-h repeat a-d.
LAYOUTS = {
    "1": [0] * 64,
    # first rank: a-b, c-d; second rank; the rest
    "4": [0, 0, 1, 1, 1, 1, 0, 0] + [2] * 8 + [3] * 48,
    # first rank: a, b, c, d; second rank: a-b, c-d; third and fourth ranks; the rest
    "8": [0, 1, 2, 3, 3, 2, 1, 0] + [4, 4, 5, 5, 5, 5, 4, 4] + [6] * 16 + [7] * 32,
}


class KbParams:
    """A quantised network as the file holds it."""

    def __init__(self, bucket_of, mirror, activation, qa, qb, scale, ft_w, ft_b, out_w, out_b):
        self.bucket_of = list(bucket_of)
        self.mirror = bool(mirror)
        self.activation = activation
        self.qa, self.qb, self.scale = qa, qb, scale
        self.ft_w = np.asarray(ft_w, dtype=np.int16)   # (buckets * 768, width)
        self.ft_b = np.asarray(ft_b, dtype=np.int16)   # (width,)
        self.out_w = np.asarray(out_w, dtype=np.int16)   # (outputs, 2 * width)
        self.out_b = np.asarray(out_b, dtype=np.int32)   # (outputs,)

    @property
    def buckets(self):
        return self.ft_w.shape[0] // PIECE_INPUTS

    @property
    def width(self):
        return self.ft_b.shape[0]

    @property
    def outputs(self):
        return self.out_b.shape[0]


def write(path, p):
    params = (p.ft_w.astype("<i2").tobytes() + p.ft_b.astype("<i2").tobytes() +
              p.out_w.astype("<i2").tobytes() + p.out_b.astype("<i4").tobytes())
    header = MAGIC + struct.pack("<HHHHHBBHHHHII", VERSION, HEADER_BYTES, p.buckets, p.width, p.outputs,
                                 p.activation, 1 if p.mirror else 0, p.qa, p.qb, p.scale, 0, len(params),
                                 checksum(params))
    header = header.ljust(64, b"\0") + bytes(p.bucket_of)
    with open(path, "wb") as f:
        f.write(header + params)


def checksum(params):
    """FNV-1a (32-bit) of the parameter block."""
    h = 2166136261
    for b in params:
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return h


def read(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != MAGIC:
        raise ValueError(f"{path}: not a ZKN2 file")
    (version, header_bytes, buckets, width, outputs, activation, flags, qa, qb, scale, _, size,
     _) = struct.unpack("<HHHHHBBHHHHII", data[4:32])
    if version != VERSION or header_bytes != HEADER_BYTES:
        raise ValueError(f"{path}: ZKN2 version {version}")
    bucket_of = list(data[64:128])
    at = HEADER_BYTES
    n = buckets * PIECE_INPUTS * width

    def take(count, dtype):
        nonlocal at
        a = np.frombuffer(data, dtype=dtype, count=count, offset=at)
        at += count * np.dtype(dtype).itemsize
        return a

    ft_w = take(n, "<i2").reshape(buckets * PIECE_INPUTS, width)
    ft_b = take(width, "<i2")
    out_w = take(outputs * 2 * width, "<i2").reshape(outputs, 2 * width)
    out_b = take(outputs, "<i4")
    return KbParams(bucket_of, flags & 1, activation, qa, qb, scale, ft_w, ft_b, out_w, out_b)


# --- features of packed positions -------------------------------------------------------------

def piece_lists(squares, codes):
    """From per-record arrays (N, 32) of squares and piece codes (code 0: no piece) to the flat
    arrays of (record, square, colour, kind) of every piece, in record order."""
    rows, slots = np.nonzero(codes)
    code = codes[rows, slots]
    return rows, squares[rows, slots].astype(np.int64), (code >> 3).astype(np.int64), (code & 7).astype(np.int64)


def orientation(mirror, perspective, king_sq):
    flip = np.where(perspective == 1, 56, 0)
    if mirror:
        flip = flip ^ np.where(((king_sq ^ flip) & 7) >= 4, 7, 0)
    return flip


def feature_arrays(bucket_of, mirror, squares, codes, kings):
    """Per perspective (0 white, 1 black): the flat feature indices and the offset of each
    record's first one. kings: (N, 2) king squares by colour."""
    rows, sq, colour, kind = piece_lists(squares, codes)
    n = codes.shape[0]
    bucket_of = np.asarray(bucket_of, dtype=np.int64)
    counts = np.bincount(rows, minlength=n)
    offsets = np.concatenate([[0], np.cumsum(counts)[:-1]])
    out = []
    for perspective in (0, 1):
        ksq = kings[:, perspective].astype(np.int64)
        flip = orientation(mirror, np.full(n, perspective), ksq)
        bucket = bucket_of[ksq ^ flip]
        f = (bucket[rows] * PIECE_INPUTS + (np.where(colour != perspective, 6, 0) + kind - 1) * 64
             + (sq ^ flip[rows]))
        out.append(f)
    return out[0], out[1], offsets


def output_buckets(outputs, codes):
    pieces = np.count_nonzero(codes, axis=1)
    return np.clip((pieces - 2) * outputs // 32, 0, outputs - 1)


# --- the engine's evaluation ------------------------------------------------------------------

def wrap(x, bits):
    half = 1 << (bits - 1)
    return (x + half) % (1 << bits) - half


def c_div(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def engine_eval(p, squares, codes, kings, side):
    """The engine's integer score of one position (arrays of one record), side to move's view."""
    fw, fb, off = feature_arrays(p.bucket_of, p.mirror, squares[None], codes[None], kings[None])
    acc = [wrap(p.ft_b.astype(np.int64) + p.ft_w[f].astype(np.int64).sum(axis=0), 16) for f in (fw, fb)]
    o = int(output_buckets(p.outputs, codes[None])[0])
    w = p.out_w[o].astype(np.int64)
    total = 0
    for half, a in ((0, acc[side]), (1, acc[side ^ 1])):
        c = np.clip(a, 0, p.qa)
        ww = w[half * p.width:(half + 1) * p.width]
        dot = (c * wrap(c * ww, 16)).sum() if p.activation == SCRELU else (c * ww).sum()
        total += int(wrap(int(dot), 32))
    if p.activation == SCRELU:
        total = c_div(total, p.qa)
    v = c_div((total + int(p.out_b[o])) * p.scale, p.qa * p.qb)
    return max(-SCORE_LIMIT, min(SCORE_LIMIT, v))


# --- the float model --------------------------------------------------------------------------

class KbModel(nn.Module):
    """Two accumulators from one feature transformer, clipped (or squared clipped) to [0, 1],
    one output per piece-count head; the output times `scale` is the score in centipawns."""

    def __init__(self, buckets, width, outputs, activation=SCRELU):
        super().__init__()
        self.buckets, self.width, self.outputs, self.activation = buckets, width, outputs, activation
        self.ft = nn.EmbeddingBag(buckets * PIECE_INPUTS, width, mode="sum")
        self.ft_bias = nn.Parameter(torch.zeros(width))
        self.out = nn.Linear(2 * width, outputs)
        with torch.no_grad():
            self.ft.weight.uniform_(-0.05, 0.05)
            self.ft_bias.fill_(0.1)
            self.out.weight.uniform_(-0.1, 0.1)
            self.out.bias.zero_()

    def forward(self, us, us_offsets, them, them_offsets, head):
        a = torch.cat([self.ft(us, us_offsets), self.ft(them, them_offsets)], dim=1)
        a = nn.functional.hardtanh(a + self.ft_bias.repeat(2), 0.0, 1.0)   # a clamp, with a cheaper backward
        if self.activation == SCRELU:
            a = a * a
        return self.out(a).gather(1, head.unsqueeze(1)).squeeze(1)

    def clip_weights(self, qa, qb):
        """Keeps the quantised values in range: accumulator rows well inside 16 bits, and for
        the squared activation qa * |output weight| below 32768."""
        with torch.no_grad():
            self.ft.weight.clamp_(-32000 / qa / 32, 32000 / qa / 32)
            if self.activation == SCRELU:
                limit = (32767 // qa) / qb
                self.out.weight.clamp_(-limit, limit)

    def quantise(self, bucket_of, mirror, qa, qb, scale):
        def q(t, s, dtype):
            return np.round(t.detach().numpy().astype(np.float64) * s).astype(dtype)

        return KbParams(bucket_of, mirror, self.activation, qa, qb, scale,
                        q(self.ft.weight, qa, np.int16), q(self.ft_bias, qa, np.int16),
                        q(self.out.weight, qb, np.int16), q(self.out.bias, qa * qb, np.int32))
