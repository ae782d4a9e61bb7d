"""The engine and the trainer read the same file the same way: for 200 positions, the
engine's "NN eval=" equals the trainer's prediction from the exported network."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.dirname(__file__))
from zelknet import features as fx, netfile  # noqa: E402
from test_features import suite_fens  # noqa: E402
from test_netfile import random_net  # noqa: E402

BINARY = os.environ.get("ZELK_BINARY", "")


class EngineAgrees(unittest.TestCase):
    def check(self, inputs):
        rng = np.random.default_rng(11)
        # Weights large enough that the scores spread over hundreds of centipawns.
        net = random_net(rng, inputs=inputs, h1=32, h2=8, outputs=2)
        net.w1 *= 4
        net.w3 *= 8
        fens = [f for f in suite_fens() if fx.network_sees(fx.parse_fen(f))][:200]
        self.assertEqual(len(fens), 200)
        with tempfile.TemporaryDirectory() as d:
            netfile.write_networks(os.path.join(d, "small.bin"), [net])
            with open(os.path.join(d, "small.cfg"), "w") as f:
                f.write("NN_File = small.bin\n")
            script = "".join(f"fen {fen}\nev\n" for fen in fens) + "quit\n"
            run = subprocess.run([BINARY, "-c", "-cfg", "small.cfg"], input=script, capture_output=True,
                                 text=True, cwd=d, timeout=120)
            exported = netfile.read_networks(os.path.join(d, "small.bin"))[0]
        got = [int(v) for v in re.findall(r"NN eval= (-?\d+)", run.stdout)]
        self.assertEqual(len(got), 200, run.stdout[-2000:])
        spread, extended = [], 0
        for fen, engine in zip(fens, got):
            board = fx.parse_fen(fen)
            expected = netfile.engine_eval(exported, board)
            self.assertLessEqual(abs(engine - expected), 1, fen)
            spread.append(expected)
            extended += fx.features(board, inputs)[1]
        self.assertGreater(np.std(spread), 50)
        return extended

    @unittest.skipUnless(os.path.exists(BINARY), "set ZELK_BINARY to the engine")
    def test_nn_eval_equals_the_trainers_prediction(self):
        self.check(fx.STANDARD_INPUTS)

    @unittest.skipUnless(os.path.exists(BINARY), "set ZELK_BINARY to the engine")
    def test_extended_inputs_agree_too(self):
        # Kings on different wings take the second input set.
        self.assertGreater(self.check(fx.EXTENDED_INPUTS), 10)


if __name__ == "__main__":
    unittest.main()
