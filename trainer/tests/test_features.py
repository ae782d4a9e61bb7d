import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from zelknet import features as fx  # noqa: E402

DATA = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data")


def colour_flip(fen):
    """The same position with the colours exchanged and the board turned upside down."""
    fields = fen.split()
    ranks = fields[0].split("/")
    placement = "/".join(r.swapcase() for r in reversed(ranks))
    side = "b" if fields[1] == "w" else "w"
    return f"{placement} {side} - -"


def suite_fens():
    fens = []
    for name in ("perft-standard.epd", "openings.epd"):
        with open(os.path.join(DATA, name)) as f:
            fens += [" ".join(line.split()[:4]) for line in f if line.strip()]
    return fens


class Features(unittest.TestCase):
    def test_start_position(self):
        feats, extended = fx.features(fx.parse_fen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"))
        self.assertFalse(extended)
        self.assertEqual(len(feats), 32)
        # White's king on e1 (file e: no mirror) comes first; Black's king, seen from White, at 448 + e8.
        self.assertEqual(feats[0], 4)
        self.assertEqual(feats[16], 448 + 60)
        self.assertEqual(sorted(feats[1:9]), [64 + s for s in range(8, 16)])

    def test_side_to_move_view_is_colour_blind(self):
        # Seen from the side to move, a position and its colour flip have the same inputs.
        for fen in suite_fens():
            a, _ = fx.features(fx.parse_fen(fen))
            b, _ = fx.features(fx.parse_fen(colour_flip(fen)))
            self.assertEqual(sorted(a), sorted(b), fen)

    def test_own_king_mirror(self):
        # A king on the queen side mirrors that side's squares only.
        feats, _ = fx.features(fx.parse_fen("4k3/8/8/8/8/8/P7/2K5 w - -"))
        self.assertEqual(feats[0], 2 ^ 7)            # king c1 -> f1
        self.assertIn(64 + (8 ^ 7), feats)          # pawn a2 -> h2
        self.assertIn(384 + (8 ^ 7), feats)         # and it is passed
        self.assertEqual(feats[-1], 448 + 60)       # black king e8, unmirrored

    def test_passed_pawns(self):
        three = "4k3/8/3p4/8/2P1P3/8/P7/4K3 w - -"
        for fen, colour, square, passed in (
                (three, fx.WHITE, 8, True),       # a2: nothing on files a-b ahead
                (three, fx.WHITE, 26, False),     # c4: d6 guards file d
                (three, fx.WHITE, 28, False),     # e4: d6 on an adjacent file
                (three, fx.BLACK, 43, False),     # d6: c4 and e4 stand in front of it
                ("4k3/8/8/3p4/2P5/8/8/4K3 w - -", fx.WHITE, 26, False),
                ("4k3/8/8/8/2Pp4/8/8/4K3 w - -", fx.WHITE, 26, True),    # side by side: both passed
                ("4k3/8/8/8/2Pp4/8/8/4K3 w - -", fx.BLACK, 27, True)):
            self.assertEqual(fx.is_passed(fx.parse_fen(fen), colour, square), passed, (fen, square))

    def test_extended_set(self):
        opposite = fx.parse_fen("6k1/8/8/8/8/8/8/1K6 w - -")
        same = fx.parse_fen("6k1/8/8/8/8/8/8/6K1 w - -")
        self.assertFalse(fx.features(opposite)[1])          # a standard-size network never switches
        self.assertTrue(fx.features(opposite, 1792)[1])
        self.assertFalse(fx.features(same, 1792)[1])
        self.assertEqual(fx.features(opposite, 1792)[0][0], 896 + (1 ^ 7))

    def test_heads_and_phase(self):
        start = fx.parse_fen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -")
        self.assertEqual(fx.phase(start), 1.0)
        self.assertEqual(fx.head(start, 1), 0)
        self.assertEqual(fx.head(start, 2), 1)
        pawns = fx.parse_fen("4k3/pp6/8/8/8/8/PP6/4K3 w - -")
        self.assertEqual(fx.phase(pawns), 0.0)
        self.assertEqual(fx.head(pawns, 2), 1)
        self.assertEqual(fx.head(pawns, 3), 2)
        queens = fx.parse_fen("3qk3/pp6/8/8/8/8/PP6/3QK3 w - -")
        self.assertEqual(fx.head(queens, 6), 5)
        self.assertAlmostEqual(fx.phase(queens), 0.32, places=6)

    def test_what_the_network_sees(self):
        self.assertTrue(fx.network_sees(fx.parse_fen("4k3/pp6/8/8/8/8/PP6/B3K3 w - -")))    # three units up
        self.assertFalse(fx.network_sees(fx.parse_fen("4k3/pp6/8/8/8/8/PP6/R3K3 w - -")))   # five units up
        self.assertFalse(fx.network_sees(fx.parse_fen("4k3/8/8/8/8/8/PP6/R3K3 w - -")))     # bare king
        self.assertFalse(fx.network_sees(fx.parse_fen("8/pp6/8/8/8/8/PP6/R3K3 w - -")))     # no king


if __name__ == "__main__":
    unittest.main()
