import os
import sys
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
import train  # noqa: E402


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


if __name__ == "__main__":
    unittest.main()
