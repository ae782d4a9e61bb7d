"""Packed training positions: files of 32-byte records ("*.zkd"), with no header, so that runs
append to them. Each record, little-endian:

  u64  occupancy, bit i for square i (a1 = 0 ... h8 = 63)
  16   the piece codes (colour * 8 + kind, kind 1 pawn ... 6 king) of the occupied squares in
       ascending order, two to a byte, the lower square in the low half
  i16  search score in centipawns, side to move's view
  u8   game result for the side to move: 0 loss, 1 draw, 2 win
  u8   side to move: 0 White, 1 Black
  u16  game ply of the position (0 when unknown)
  u16  reserved, 0

Positions with more than 32 pieces are not stored.
"""

import os
import re

import numpy as np

from . import features as fx

RECORD = np.dtype([("occ", "<u8"), ("pieces", "u1", 16), ("score", "<i2"), ("result", "u1"),
                   ("side", "u1"), ("ply", "<u2"), ("reserved", "<u2")])
assert RECORD.itemsize == 32

CE = re.compile(r"\bce\s+(-?\d+)")
GR = re.compile(r"\bgr\s+([01](?:\.\d+)?)")


def pack_fen(fen, score, result, ply=0):
    """The record of a FEN's placement and side to move, or None."""
    if len(fen.split()) < 2:
        return None
    parsed = fx.parse_fen(fen)
    board = {sq: colour * 8 + kind for sq, (colour, kind) in parsed.squares.items()}
    if len(board) > 32:
        return None
    rec = np.zeros((), dtype=RECORD)
    occ = 0
    nibbles = bytearray(16)
    for i, sq in enumerate(sorted(board)):
        occ |= 1 << sq
        nibbles[i // 2] |= board[sq] << (4 * (i & 1))
    rec["occ"] = occ
    rec["pieces"] = np.frombuffer(bytes(nibbles), dtype=np.uint8)
    rec["score"] = max(-32000, min(32000, score))
    rec["result"] = int(round(result * 2))
    rec["side"] = parsed.side
    rec["ply"] = ply
    return rec


def pack_lines(lines):
    """Records of the data lines "<EPD> ce <score>; gr <result>;" (others skipped)."""
    out = []
    for line in lines:
        ce, gr = CE.search(line), GR.search(line)
        if not ce or not gr:
            continue
        rec = pack_fen(" ".join(line.split()[:4]), int(ce.group(1)), float(gr.group(1)))
        if rec is not None:
            out.append(rec)
    return np.array(out, dtype=RECORD)


def board_keys(records):
    """The bytes that name a position (placement and side to move), one void value per record."""
    raw = records.view(np.uint8).reshape(-1, 32)
    key = np.concatenate([raw[:, :24], raw[:, 27:28]], axis=1)
    return np.ascontiguousarray(key).view(np.dtype((np.void, 25))).ravel()


def append_unique(path, records):
    """Appends the records whose position is neither in the file nor earlier among them;
    returns how many were written."""
    old = load(path) if os.path.exists(path) else np.zeros(0, dtype=RECORD)
    keys = board_keys(np.concatenate([old, records]))
    _, first = np.unique(keys, return_index=True)
    fresh = np.sort(first[first >= len(old)]) - len(old)
    with open(path, "ab") as f:
        f.write(records[fresh].tobytes())
    return len(fresh)


def load(path):
    """The records of a file, mapped (not read into memory)."""
    if os.path.getsize(path) == 0:
        return np.zeros(0, dtype=RECORD)
    return np.memmap(path, dtype=RECORD, mode="r")


def unpack(records):
    """Arrays of a batch: squares and codes (N, 32) of its pieces in ascending square order
    (code 0 past the last piece), kings (N, 2) by colour (0 when missing), side (N,)."""
    n = len(records)
    bits = np.unpackbits(records["occ"].astype("<u8").view(np.uint8).reshape(n, 8), axis=1, bitorder="little")
    rows, sqs = np.nonzero(bits)
    counts = np.bincount(rows, minlength=n)
    starts = np.concatenate([[0], np.cumsum(counts)[:-1]])
    slot = np.arange(len(rows)) - starts[rows]
    byte = records["pieces"][rows, slot // 2]
    code = (byte >> (4 * (slot & 1))) & 15
    squares = np.zeros((n, 32), dtype=np.int64)
    codes = np.zeros((n, 32), dtype=np.int64)
    squares[rows, slot] = sqs
    codes[rows, slot] = code
    kings = np.zeros((n, 2), dtype=np.int64)
    is_king = (code & 7) == 6
    kings[rows[is_king], code[is_king] >> 3] = sqs[is_king]
    return squares, codes, kings, records["side"].astype(np.int64)
