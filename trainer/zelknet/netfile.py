"""The network file: an 18-byte header per network and its parameter block of floats.

Header (little-endian): int16 unused, int16 network count (0 read as 1), uint16 inputs_a,
uint16 inputs_b, uint16 hidden1, uint16 hidden2, uint16 outputs, uint32 unused. Parameters:
W1 (a row of hidden1 per input), W2 (a row of hidden1 per second-layer neuron), W3 (a row
of hidden2 per head), W4 (outputs floats, unused), then 8 extra floats: extra[1] is the
first-layer bias, extra[2] the second-layer bias.
"""

import math
import struct

import numpy as np

HEADER = struct.Struct("<hhHHHHHI")


class NetParams:
    def __init__(self, inputs_a, inputs_b, w1, w2, w3, bias1, bias2):
        self.inputs_a, self.inputs_b = inputs_a, inputs_b
        self.w1 = np.asarray(w1, dtype=np.float32)   # (inputs, hidden1)
        self.w2 = np.asarray(w2, dtype=np.float32)   # (hidden2, hidden1)
        self.w3 = np.asarray(w3, dtype=np.float32)   # (outputs, hidden2)
        self.bias1, self.bias2 = float(bias1), float(bias2)

    @property
    def sizes(self):
        return self.w1.shape[1], self.w2.shape[0], self.w3.shape[0]


def quantise(values):
    """What the engine does on load: lround(w * 2000) * 0.0005, rounding halves away from zero."""
    v = np.asarray(values, dtype=np.float64) * 2000.0
    return (np.sign(v) * np.floor(np.abs(v) + 0.5) * 0.0005).astype(np.float32)


def write_networks(path, nets):
    with open(path, "wb") as f:
        for net in nets:
            h1, h2, outputs = net.sizes
            n = net.inputs_a + net.inputs_b
            assert net.w1.shape == (n, h1) and net.w2.shape == (h2, h1) and net.w3.shape == (outputs, h2)
            f.write(HEADER.pack(0, len(nets), net.inputs_a, net.inputs_b, h1, h2, outputs, 0))
            extra = np.zeros(8, dtype=np.float32)
            extra[1], extra[2] = net.bias1, net.bias2
            for block in (net.w1, net.w2, net.w3, np.zeros(outputs, dtype=np.float32), extra):
                f.write(np.ascontiguousarray(block, dtype="<f4").tobytes())


def read_networks(path, quantised=True):
    """Reads every network of a file, as the engine would (quantised unless told otherwise)."""
    with open(path, "rb") as f:
        data = f.read()
    nets, offset, count = [], 0, 1
    while len(nets) < count:
        if offset + HEADER.size > len(data):
            raise ValueError("short header")
        _, count, a, b, h1, h2, outputs, _ = HEADER.unpack_from(data, offset)
        count = max(count, 1)
        offset += HEADER.size
        n = a + b
        total = n * h1 + h1 * h2 + h2 * outputs + outputs + 8
        if offset + 4 * total > len(data):
            raise ValueError("short parameter block")
        p = np.frombuffer(data, dtype="<f4", count=total, offset=offset).astype(np.float32)
        offset += 4 * total
        if quantised:
            p = quantise(p)
        i = 0
        w1 = p[i:i + n * h1].reshape(n, h1); i += n * h1
        w2 = p[i:i + h1 * h2].reshape(h2, h1); i += h1 * h2
        w3 = p[i:i + h2 * outputs].reshape(outputs, h2); i += h2 * outputs + outputs
        extra = p[i:i + 8]
        nets.append(NetParams(a, b, w1, w2, w3, extra[1], extra[2]))
    return nets


def leaky(x):
    return np.where(x >= 0, x, x * np.float32(0.0625))


def logit(net, feats, phase, head):
    """The network's value for one position: the head's output, or for head 1 the blend
    phase * out[0] + (1 - phase) * out[1]."""
    a = leaky(net.bias1 + net.w1[feats].sum(axis=0))
    b = leaky(net.bias2 + net.w2 @ a)
    out = net.w3 @ b
    if head == 1:
        return float(phase * out[0] + (1.0 - phase) * out[1])
    return float(out[head])


def centipawns(v):
    """The engine's conversion of a logit to centipawns (before contempt and damping)."""
    p = 1.0 / (1.0 + math.exp(-v))
    if p < 0.00001:
        return -1919
    if p > 0.99999:
        return 1919
    return int(math.log(1.0 / p - 1.0) * -166.66667)


def engine_eval(net, board, outputs=None):
    """What the engine prints as "NN eval=" for this board: features, head, blend, conversion,
    and the quarter for bare minor-piece endings."""
    from . import features as fx
    feats, _ = fx.features(board, net.inputs_a)
    h = fx.head(board, outputs or net.sizes[2])
    score = centipawns(logit(net, feats, fx.phase(board), h))
    no_pawns_rooks_queens = all(k not in (fx.PAWN, fx.ROOK, fx.QUEEN) for _, k in board.squares.values())
    if no_pawns_rooks_queens and board.npm(fx.WHITE) <= 3 and board.npm(fx.BLACK) <= 3:
        score = int(score / 4)
    return score
