"""Board reading and the network's input features, as the engine computes them.

The position is seen from the side to move (for Black every square is flipped
vertically), and each side's pieces are mirrored so that its own king stands on
files e-h. Each side has 448 inputs: king squares, then pawns, knights, bishops,
rooks and queens, then passed pawns, 64 each. The standard set puts the side to
move at 0 and the other side at 448; the extended set (networks with at least
1792 inputs in their first count, kings on different wings) at 896 and 1344.
"""

PAWN, KNIGHT, BISHOP, ROOK, QUEEN, KING = 1, 2, 3, 4, 5, 6
WHITE, BLACK = 0, 1
PIECE_LETTERS = {"p": PAWN, "n": KNIGHT, "b": BISHOP, "r": ROOK, "q": QUEEN, "k": KING}
PIECE_POINTS = {KNIGHT: 3, BISHOP: 3, ROOK: 5, QUEEN: 10}

STANDARD_INPUTS = 896
EXTENDED_INPUTS = 1792


class Board:
    """Pieces by square (a1 = 0 ... h8 = 63) as (colour, type), and the side to move."""

    def __init__(self, squares, side):
        self.squares = squares
        self.side = side

    def pieces(self, colour, kind):
        return sorted(s for s, (c, k) in self.squares.items() if c == colour and k == kind)

    def king(self, colour):
        kings = self.pieces(colour, KING)
        return kings[0] if kings else None

    def npm(self, colour):
        return sum(PIECE_POINTS.get(k, 0) for c, k in self.squares.values() if c == colour)

    def count(self, colour, kind):
        return len(self.pieces(colour, kind))


def parse_fen(text):
    """Reads the placement and side-to-move fields of a FEN or EPD line."""
    fields = text.split()
    squares = {}
    rank, file = 7, 0
    for ch in fields[0]:
        if ch == "/":
            rank, file = rank - 1, 0
        elif ch.isdigit():
            file += int(ch)
        elif ch.lower() in PIECE_LETTERS:
            if 0 <= rank < 8 and 0 <= file < 8:
                squares[rank * 8 + file] = (WHITE if ch.isupper() else BLACK, PIECE_LETTERS[ch.lower()])
            file += 1
    side = BLACK if len(fields) > 1 and fields[1] == "b" else WHITE
    return Board(squares, side)


def is_passed(board, colour, sq):
    """No enemy pawn on its own or an adjacent file on any square in front of it."""
    f, r = sq % 8, sq // 8
    for s in board.pieces(colour ^ 1, PAWN):
        ef, er = s % 8, s // 8
        if abs(ef - f) <= 1 and ((er > r) if colour == WHITE else (er < r)):
            return False
    return True


def uses_extended(board, inputs_a):
    wk, bk = board.king(WHITE), board.king(BLACK)
    if inputs_a < EXTENDED_INPUTS or wk is None or bk is None:
        return False
    return (wk % 8 < 4) != (bk % 8 < 4)


def features(board, inputs_a=STANDARD_INPUTS):
    """The active input indices in the engine's order, and whether the extended set is used."""
    extended = uses_extended(board, inputs_a)
    bases = (896, 1344) if extended else (0, 448)
    us = board.side
    flip = 56 if us == BLACK else 0
    out = []
    for colour, base in ((us, bases[0]), (us ^ 1, bases[1])):
        king = board.king(colour)
        mirror = 7 if king is not None and king % 8 < 4 else 0

        def t(sq):
            return sq ^ flip ^ mirror

        if king is not None:
            out.append(base + t(king))
        for kind in (PAWN, KNIGHT, BISHOP, ROOK, QUEEN):
            for sq in board.pieces(colour, kind):
                out.append(base + 64 * kind + t(sq))
        for sq in board.pieces(colour, PAWN):
            if is_passed(board, colour, sq):
                out.append(base + 384 + t(sq))
    return out, extended


def phase(board):
    """End-game share of the blend of heads 0 and 1: 1.0 with most pieces on the board."""
    return min(1.0, (board.npm(WHITE) + board.npm(BLACK)) * 0.016)


def head(board, outputs):
    """The output head the engine reads for this position."""
    if outputs == 1:
        return 0
    w, b = board.npm(WHITE), board.npm(BLACK)
    h = 1
    if w <= 10 and w == b:
        minors_rooks = sum(board.count(c, k) for c in (WHITE, BLACK) for k in (KNIGHT, BISHOP, ROOK))
        if w == 0 and outputs > 2:
            h = 2
        elif w == 3 and outputs > 3:
            h = 3
        elif w == 5 and outputs > 4:
            h = 4
        elif w == 10 and minors_rooks == 0 and outputs > 5:
            h = 5
    return h


def network_sees(board):
    """The engine evaluates with the network only when both kings stand, neither side is
    bare, and the material (1-3-3-5-10) differs by at most three units."""
    if board.king(WHITE) is None or board.king(BLACK) is None:
        return False
    for colour in (WHITE, BLACK):
        if all(c != colour or k == KING for c, k in board.squares.values()):
            return False
    mat = [board.count(c, PAWN) + board.npm(c) for c in (WHITE, BLACK)]
    return abs(mat[0] - mat[1]) <= 3
