"""Data lines to arrays: the parallel reader gives exactly what the plain one gives."""
import os
import sys
import tempfile
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.dirname(__file__))
from zelknet import data, features as fx  # noqa: E402
from test_features import suite_fens  # noqa: E402


class ParallelLoad(unittest.TestCase):
    def test_byte_ranges_cover_every_line_once(self):
        fens = suite_fens()[:300]
        lines = [f"{fen} ce {i * 7 - 900}; gr {(i % 3) / 2};\n" for i, fen in enumerate(fens)]
        lines[5] = "not a position\n"
        lines[9] = "\n"
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "lines.epd")
            with open(path, "w") as f:
                f.writelines(lines)
            whole = data.load([path], 1792, 2)
            # Every cut position: 1 chunk, cuts inside lines, and more chunks than lines.
            for chunks in (2, 3, 7, 64, 1000):
                part = data.load_parallel(path, 1792, 2, chunks)
                for key in whole:
                    self.assertTrue(np.array_equal(whole[key], part[key]), f"{key} with {chunks} chunks")
        seen = [line for line in lines if " ce " in line and fx.network_sees(fx.parse_fen(line[:line.index(" ce")]))]
        self.assertGreater(len(seen), 200)
        self.assertEqual(len(whole["score"]), len(seen))
        self.assertEqual(whole["score"][0], int(seen[0].split(" ce ")[1].split(";")[0]))

    def test_range_reader_at_line_starts(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "t.txt")
            with open(path, "w") as f:
                f.write("ab\ncd\nef\n")
            self.assertEqual(list(data.read_range(path, 0, 3)), ["ab\n"])
            self.assertEqual(list(data.read_range(path, 3, 4)), ["cd\n"])
            self.assertEqual(list(data.read_range(path, 4, 9)), ["ef\n"])
            self.assertEqual(list(data.read_range(path, 1, 2)), [])

    def test_caches_merge_into_one_set(self):
        fens = suite_fens()[:120]
        with tempfile.TemporaryDirectory() as d:
            paths = []
            for k in range(3):
                paths.append(os.path.join(d, f"part{k}.epd"))
                with open(paths[-1], "w") as f:
                    f.writelines(f"{fen} ce {i - 40 * k}; gr 0.5;\n" for i, fen in enumerate(fens[40 * k:40 * k + 40]))
            whole = data.load(paths, 1792, 2)
            for _ in range(2):   # parsing and writing the caches, then reading them back
                merged = data.load_all(paths, 1792, 2)
                for key in whole:
                    self.assertEqual(merged[key].dtype, whole[key].dtype, key)
                    self.assertTrue(np.array_equal(merged[key], whole[key]), key)
            self.assertTrue(all(os.path.exists(data.cache_path(p, 1792, 2)) for p in paths))
            # A cache with wide features (as older versions wrote them) is read back narrow.
            first = data.cache_path(paths[0], 1792, 2)
            with np.load(first) as z:
                wide = {k: z[k] for k in z.files}
            wide["features"] = wide["features"].astype(np.int64)
            np.savez(first, **wide)
            merged = data.load_all(paths, 1792, 2)
            self.assertEqual(merged["features"].dtype, np.int16)
            self.assertTrue(np.array_equal(merged["features"], whole["features"]))


if __name__ == "__main__":
    unittest.main()
