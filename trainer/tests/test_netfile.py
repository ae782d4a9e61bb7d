import os
import sys
import tempfile
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from zelknet import features as fx, netfile  # noqa: E402


def random_net(rng, inputs=896, h1=16, h2=8, outputs=2):
    return netfile.NetParams(inputs, 0, rng.normal(0, 0.05, (inputs, h1)), rng.normal(0, 0.2, (h2, h1)),
                             rng.normal(0, 0.3, (outputs, h2)), 0.05, -0.02)


class NetFile(unittest.TestCase):
    def test_quantisation_rounds_halves_away_from_zero(self):
        q = netfile.quantise([0.00074, -0.00025, 0.00025, 0.0, 1.2345678])
        np.testing.assert_allclose(q, [0.0005, -0.0005, 0.0005, 0.0, 1.2345], atol=1e-7)

    def test_round_trip_of_one_and_two_networks(self):
        rng = np.random.default_rng(7)
        nets = [random_net(rng), random_net(rng, h1=8, h2=4, outputs=3)]
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "nn.bin")
            for count in (1, 2):
                netfile.write_networks(path, nets[:count])
                n1 = 18 + 4 * (896 * 16 + 16 * 8 + 8 * 2 + 2 + 8)
                n2 = 18 + 4 * (896 * 8 + 8 * 4 + 4 * 3 + 3 + 8)
                self.assertEqual(os.path.getsize(path), n1 + (n2 if count == 2 else 0))
                back = netfile.read_networks(path, quantised=False)
                self.assertEqual(len(back), count)
                for a, b in zip(nets, back):
                    for x, y in ((a.w1, b.w1), (a.w2, b.w2), (a.w3, b.w3)):
                        np.testing.assert_array_equal(x, y)
                    np.testing.assert_allclose((a.bias1, a.bias2), (b.bias1, b.bias2), atol=5e-7)
                q = netfile.read_networks(path)[0]
                np.testing.assert_array_equal(q.w2, netfile.quantise(nets[0].w2))

    def test_short_file_is_refused(self):
        rng = np.random.default_rng(3)
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "nn.bin")
            netfile.write_networks(path, [random_net(rng)])
            with open(path, "r+b") as f:
                f.truncate(1000)
            with self.assertRaises(ValueError):
                netfile.read_networks(path)

    def test_conversion_to_centipawns(self):
        self.assertEqual(netfile.centipawns(0.0), 0)
        self.assertAlmostEqual(netfile.centipawns(np.log(0.99 / 0.01)), 765, delta=1)
        self.assertEqual(netfile.centipawns(-20.0), -1919)
        self.assertEqual(netfile.centipawns(20.0), 1919)


class ModelMatchesFile(unittest.TestCase):
    def test_torch_model_and_file_agree(self):
        try:
            import torch
            from zelknet.model import ZelkNet
        except ImportError:
            self.skipTest("python3-torch is not installed")
        torch.manual_seed(5)
        model = ZelkNet(896, 16, 8, 2)
        with torch.no_grad():
            for p in model.parameters():
                p.normal_(0, 0.3)
        params = model.params(896, 0)
        for fen in ("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
                    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq -",
                    "8/5k2/3p4/8/2P5/8/5K2/8 w - -"):
            board = fx.parse_fen(fen)
            feats, _ = fx.features(board)
            ph, h = fx.phase(board), fx.head(board, 2)
            expected = netfile.logit(params, feats, ph, h)
            got = model(torch.tensor(feats), torch.tensor([0]), torch.tensor([ph], dtype=torch.float32),
                        torch.tensor([h]))
            self.assertAlmostEqual(float(got[0]), expected, places=4, msg=fen)


if __name__ == "__main__":
    unittest.main()
