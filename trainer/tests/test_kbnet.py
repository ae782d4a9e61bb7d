"""The king-bucket network and the packed positions: records round-trip and de-duplicate, the
file round-trips, and for 200 positions the engine's "NN eval=" equals the trainer's integer
evaluation of the exported file, which stays within a few centipawns of the float model."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import torch

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.dirname(__file__))
from zelknet import kbnet, packed  # noqa: E402
from test_features import suite_fens  # noqa: E402

BINARY = os.environ.get("ZELK_BINARY", "")


def placement(squares, codes):
    """The FEN placement field of unpacked arrays of one record."""
    board = {int(s): int(c) for s, c in zip(squares, codes) if c}
    ranks = []
    for rank in range(7, -1, -1):
        row, empty = "", 0
        for file in range(8):
            c = board.get(rank * 8 + file)
            if c is None:
                empty += 1
                continue
            row += (str(empty) if empty else "") + ("PNBRQK"[(c & 7) - 1] if c < 8 else "pnbrqk"[(c & 7) - 1])
            empty = 0
        ranks.append(row + (str(empty) if empty else ""))
    return "/".join(ranks)


def plain_board(fen):
    """Both sides keep a piece besides the king, and not a bare minor piece each: the engine
    adds no ending formula to these."""
    pieces = fen.split()[0]
    kinds = {s: sum(ch in pieces for ch in s) for s in ("PRQ", "prq")}
    minors = [sum(pieces.count(ch) for ch in s) for s in ("NB", "nb")]
    sides_ok = all(any(ch in pieces for ch in s) for s in ("PNBRQ", "pnbrq"))
    bare_minors = not kinds["PRQ"] and not kinds["prq"] and max(minors) <= 1
    return sides_ok and not bare_minors


class Packed(unittest.TestCase):
    def test_records_round_trip_and_append_once(self):
        fens = suite_fens()[:300]
        lines = [f"{fen} ce {i - 150}; gr {('0', '0.5', '1')[i % 3]};" for i, fen in enumerate(fens)]
        recs = packed.pack_lines(lines)
        self.assertEqual(len(recs), len(fens))
        squares, codes, kings, side = packed.unpack(recs)
        for i, fen in enumerate(fens):
            self.assertEqual(placement(squares[i], codes[i]), fen.split()[0])
            self.assertEqual(side[i], 1 if fen.split()[1] == "b" else 0)
        self.assertEqual(list(recs["score"][:3]), [-150, -149, -148])
        self.assertEqual(list(recs["result"][:3]), [0, 1, 2])
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "data.zkd")
            unique = len(set((f.split()[0], f.split()[1]) for f in fens))
            self.assertEqual(packed.append_unique(path, recs), unique)
            self.assertEqual(packed.append_unique(path, recs), 0)
            self.assertEqual(len(packed.load(path)), unique)


class EngineAgrees(unittest.TestCase):
    @unittest.skipUnless(os.path.exists(BINARY), "set ZELK_BINARY to the engine")
    def test_nn_eval_equals_the_trainers_integer_evaluation(self):
        torch.manual_seed(3)
        fens = [f for f in suite_fens() if plain_board(f)][:200]
        self.assertEqual(len(fens), 200)
        recs = packed.pack_lines(f"{fen} ce 0; gr 0.5;" for fen in fens)
        squares, codes, kings, side = packed.unpack(recs)
        for activation, mirror, layout in ((kbnet.SCRELU, True, "4"), (kbnet.CRELU, False, "1")):
            model = kbnet.KbModel(len(set(kbnet.LAYOUTS[layout])), 32, 8, activation)
            with torch.no_grad():   # scores spread over hundreds of centipawns
                model.out.weight.uniform_(-1.9, 1.9)
                model.out.bias.uniform_(-0.5, 0.5)
            params = model.quantise(kbnet.LAYOUTS[layout], mirror, 255, 64, 400)
            with tempfile.TemporaryDirectory() as d:
                kbnet.write(os.path.join(d, "kb.bin"), params)
                with open(os.path.join(d, "kb.cfg"), "w") as f:
                    f.write("NN_File = kb.bin\n")
                script = "".join(f"fen {fen}\nev\n" for fen in fens) + "quit\n"
                run = subprocess.run([BINARY, "-c", "-cfg", "kb.cfg"], input=script, capture_output=True,
                                     text=True, cwd=d, timeout=120)
                exported = kbnet.read(os.path.join(d, "kb.bin"))
            got = [int(v) for v in re.findall(r"NN eval= (-?\d+)", run.stdout)]
            self.assertEqual(len(got), 200, run.stdout[-2000:])
            expected = [kbnet.engine_eval(exported, squares[i], codes[i], kings[i], int(side[i]))
                        for i in range(200)]
            self.assertEqual(got, expected)
            self.assertGreater(np.std(expected), 50)
            # The float model before rounding: off by the rounding of the weights only (a few
            # per cent of the spread with these large random weights); a wrong scale in the
            # export would be off by half the spread or more.
            us, them, offsets = kbnet.feature_arrays(kbnet.LAYOUTS[layout], mirror, squares, codes, kings)
            white_to_move = torch.from_numpy(side == 0)
            f_white, f_black = torch.from_numpy(us), torch.from_numpy(them)
            o = torch.from_numpy(offsets)
            head = torch.from_numpy(kbnet.output_buckets(8, codes))
            with torch.no_grad():
                as_white = model(f_white, o, f_black, o, head)
                as_black = model(f_black, o, f_white, o, head)
                floats = torch.where(white_to_move, as_white, as_black).numpy() * 400
            self.assertLess(np.abs(floats - np.array(expected)).mean(), 0.2 * np.std(expected))


if __name__ == "__main__":
    unittest.main()
