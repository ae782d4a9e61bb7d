import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.dirname(__file__))
import train  # noqa: E402
from zelknet import netfile  # noqa: E402
from test_features import suite_fens  # noqa: E402
from test_netfile import random_net  # noqa: E402


class ValidationSplit(unittest.TestCase):
    def test_whole_stretches_are_held_out(self):
        n = 100_003
        val, tr = train.split_by_stretch(n, 0.05)
        self.assertEqual(len(np.intersect1d(val, tr)), 0)
        self.assertEqual(len(val) + len(tr), n)
        self.assertAlmostEqual(len(val) / n, 0.05, delta=0.002)
        # Consecutive lines stay together: ten runs of about 500 positions each.
        runs = 1 + np.count_nonzero(np.diff(val) != 1)
        self.assertEqual(runs, 10)

    def test_tiny_and_empty_sets(self):
        for n in (0, 1, 7):
            val, tr = train.split_by_stretch(n, 0.05)
            self.assertEqual(sorted(np.concatenate([val, tr]).tolist()), list(range(n)))
        val, tr = train.split_by_stretch(50, 0.0)
        self.assertEqual(len(val), 0)

    def test_a_files_held_out_games_ignore_its_companions(self):
        alone, _ = train.split_files([40_000], 0.05)
        val, tr = train.split_files([40_000, 25_001, 9], 0.05)
        self.assertEqual(val[val < 40_000].tolist(), alone.tolist())
        self.assertEqual(sorted(np.concatenate([val, tr]).tolist()), list(range(65_010)))
        second, _ = train.split_files([25_001], 0.05)
        self.assertEqual((val[(val >= 40_000) & (val < 65_001)] - 40_000).tolist(), second.tolist())


class StartFromAFile(unittest.TestCase):
    def test_every_weight_lands_where_it_came_from(self):
        rng = np.random.default_rng(5)
        net = random_net(rng, inputs=1792, h1=16, h2=8, outputs=2)
        with tempfile.TemporaryDirectory() as d:
            start, out, lines = (os.path.join(d, n) for n in ("start.bin", "out.bin", "lines.epd"))
            netfile.write_networks(start, [net])
            with open(lines, "w") as f:
                f.writelines(f"{fen} ce {i % 300 - 150}; gr 0.5;\n" for i, fen in enumerate(suite_fens()[:200]))
            # A learning rate too small to move any weight by a file step.
            run = subprocess.run([sys.executable, train.__file__, lines, "-o", out, "--inputs", "1792",
                                  "--init", start, "--epochs", "1", "--lr", "1e-12", "--threads", "1"],
                                 capture_output=True, text=True, timeout=300)
            self.assertEqual(run.returncode, 0, run.stderr[-2000:])
            self.assertIn("starting from", run.stdout)
            got, want = netfile.read_networks(out)[0], netfile.read_networks(start)[0]
        self.assertEqual(got.sizes, (16, 8, 2))
        for a, b in ((got.w1, want.w1), (got.w2, want.w2), (got.w3, want.w3)):
            np.testing.assert_array_equal(a, b)
        self.assertEqual((got.bias1, got.bias2), (want.bias1, want.bias2))


if __name__ == "__main__":
    unittest.main()
