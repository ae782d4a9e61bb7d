import os
import sys
import tempfile
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
import wdl_fit  # noqa: E402


class WdlFit(unittest.TestCase):
    def test_recovers_the_model_its_data_came_from(self):
        # Games drawn from a known model, written as -mktraindata writes them
        # (result from the side to move), read back and fitted.
        true = np.array([250.0, -400.0, 200.0, 60.0, 100.0, -50.0])
        rng = np.random.default_rng(5)
        n = 60_000
        boards = ["4k3/8/8/8/8/8/8/R3K3", "r3k3/pppp4/8/8/8/8/PPPP4/R3K3", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR"]
        _, materials, _ = wdl_fit.read_lines(f"{b} w - - ce 0; gr 0.5;" for b in boards)
        pick = rng.integers(0, len(boards), n)
        scores = rng.integers(-500, 501, n).astype(float)
        w, d, _ = wdl_fit.chances(true, scores, materials[pick], np)
        u = rng.random(n)
        results = np.where(u < w, 1.0, np.where(u < w + d, 0.5, 0.0))
        lines = [f"{boards[p]} w - - ce {int(s)}; gr {r:.1f};" for p, s, r in zip(pick, scores, results)]
        lines.append(f"{boards[0]} w - - ce 9500; gr 1.0;")   # a mate score: left out
        s, m, r = wdl_fit.read_lines(lines)
        self.assertEqual(len(s), n)
        fitted = wdl_fit.fit(s, m, r, 2)
        got = wdl_fit.chances(fitted, s, m, np)
        want = wdl_fit.chances(true, s, m, np)
        for g, t in zip(got, want):
            self.assertLess(np.abs(g - t).max(), 0.03)


if __name__ == "__main__":
    unittest.main()
