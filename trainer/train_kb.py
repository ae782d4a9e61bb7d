#!/usr/bin/python3
"""Trains the king-bucket network on packed positions and writes its "ZKN2" file.

  /usr/bin/python3 trainer/train_kb.py DATA.zkd [DATA2.zkd ...] -o nets/kb.bin

The target mixes the game result with the search score's win probability; the loss is the mean
squared error between the sigmoid of the network's score (in the engine's centipawns, /166.67)
and the target. Whole stretches of each file are held out for validation; the epoch with the
lowest validation loss is written, quantised, and the loss of the quantised file is printed
with the loss plot beside the output.
"""

import argparse
import os
import sys
import time

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402
import torch  # noqa: E402

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from train import plot, split_files  # noqa: E402
from zelknet import kbnet, packed  # noqa: E402

CP_PER_LOGIT = 166.67


def batch_tensors(recs, bucket_of, mirror, outputs):
    squares, codes, kings, side = packed.unpack(recs)
    white, black, offsets = kbnet.feature_arrays(bucket_of, mirror, squares, codes, kings)
    rows = np.repeat(np.arange(len(recs)), np.count_nonzero(codes, axis=1))
    black_moves = side[rows] == 1
    us, them = np.where(black_moves, black, white), np.where(black_moves, white, black)
    return (torch.from_numpy(us), torch.from_numpy(offsets), torch.from_numpy(them), torch.from_numpy(offsets),
            torch.from_numpy(kbnet.output_buckets(outputs, codes)))


def targets(recs, lam):
    p = 1.0 / (1.0 + np.exp(-np.clip(recs["score"].astype(np.float32), -4000, 4000) / CP_PER_LOGIT))
    return torch.from_numpy((lam * p + (1.0 - lam) * recs["result"] / 2.0).astype(np.float32))


def batches(recs, index, size, args, rng=None):
    order = rng.permutation(index) if rng is not None else index
    for start in range(0, len(order), size):
        rows = np.sort(order[start:start + size])
        b = recs[rows]
        yield batch_tensors(b, args.layout_map, args.mirror, args.outputs), targets(b, args.lam)


def loss_of(model, x, t, scale):
    return ((torch.sigmoid(model(*x) * (scale / CP_PER_LOGIT)) - t) ** 2).mean()


def evaluate_loss(model, recs, index, args):
    model.eval()
    total, n = 0.0, 0
    with torch.no_grad():
        for x, t in batches(recs, index, 65536, args):
            total += float(loss_of(model, x, t, args.scale)) * len(t)
            n += len(t)
    model.train()
    return total / max(n, 1)


def load_params(model, p):
    """The float model from a quantised file (to go on training it)."""
    with torch.no_grad():
        model.ft.weight.copy_(torch.from_numpy(p.ft_w.astype(np.float32) / p.qa))
        model.ft_bias.copy_(torch.from_numpy(p.ft_b.astype(np.float32) / p.qa))
        model.out.weight.copy_(torch.from_numpy(p.out_w.astype(np.float32) / p.qb))
        model.out.bias.copy_(torch.from_numpy(p.out_b.astype(np.float32) / (p.qa * p.qb)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data", nargs="+")
    ap.add_argument("-o", "--output", default="kb.bin")
    ap.add_argument("--layout", default="4", choices=sorted(kbnet.LAYOUTS), help="king bucket layout")
    ap.add_argument("--no-mirror", dest="mirror", action="store_false")
    ap.add_argument("--width", type=int, default=256)
    ap.add_argument("--outputs", type=int, default=8)
    ap.add_argument("--activation", default="screlu", choices=["crelu", "screlu"])
    ap.add_argument("--qa", type=int, default=255)
    ap.add_argument("--qb", type=int, default=64)
    ap.add_argument("--scale", type=int, default=400)
    ap.add_argument("--lambda", dest="lam", type=float, default=0.75, help="share of the search score in the target")
    ap.add_argument("--epochs", type=int, default=10)
    ap.add_argument("--batch", type=int, default=16384)
    ap.add_argument("--lr", type=float, default=1e-3)
    ap.add_argument("--validation", type=float, default=0.02)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--threads", type=int, default=2)
    ap.add_argument("--init", help="ZKN2 file to start from (its sizes replace the ones given)")
    args = ap.parse_args()

    torch.manual_seed(args.seed)
    torch.set_num_threads(args.threads)
    torch.set_flush_denormal(True)
    rng = np.random.default_rng(args.seed)
    activation = kbnet.SCRELU if args.activation == "screlu" else kbnet.CRELU
    args.layout_map = kbnet.LAYOUTS[args.layout]
    start = None
    if args.init:
        start = kbnet.read(args.init)
        args.layout_map, args.mirror, activation = start.bucket_of, start.mirror, start.activation
        args.width, args.outputs, args.qa, args.qb, args.scale = start.width, start.outputs, start.qa, start.qb, start.scale
    files = [packed.load(p) for p in args.data]
    recs = np.concatenate(files)
    val, train = split_files([len(f) for f in files], args.validation)
    print(f"positions: {len(recs)} ({len(train)} training, {len(val)} validation)", flush=True)

    model = kbnet.KbModel(max(args.layout_map) + 1, args.width, args.outputs, activation)
    if start:
        load_params(model, start)
        print(f"starting from {args.init}: validation {evaluate_loss(model, recs, val, args):.6f}", flush=True)
    opt = torch.optim.Adam(model.parameters(), lr=args.lr)
    sched = torch.optim.lr_scheduler.CosineAnnealingLR(opt, T_max=args.epochs, eta_min=args.lr / 10)
    history, best = [], (float("inf"), 0, None)
    for epoch in range(1, args.epochs + 1):
        began, total, count = time.time(), 0.0, 0
        for x, t in batches(recs, train, args.batch, args, rng):
            opt.zero_grad()
            loss = loss_of(model, x, t, args.scale)
            loss.backward()
            opt.step()
            model.clip_weights(args.qa, args.qb)
            total += float(loss) * len(t)
            count += len(t)
        sched.step()
        v = evaluate_loss(model, recs, val, args)
        history.append((total / max(count, 1), v))
        print(f"epoch {epoch:3d}  train {history[-1][0]:.6f}  validation {v:.6f}  "
              f"{count / (time.time() - began):.0f} positions/s", flush=True)
        if v < best[0]:
            # Written at once, so that a run cut short keeps its best epoch.
            best = (v, epoch, {k: t.clone() for k, t in model.state_dict().items()})
            kbnet.write(args.output, model.quantise(args.layout_map, args.mirror, args.qa, args.qb, args.scale))

    print(f"best epoch {best[1]}: validation {best[0]:.6f}")
    model.load_state_dict(best[2])
    load_params(model, kbnet.read(args.output))
    print(f"validation loss after quantisation: {evaluate_loss(model, recs, val, args):.6f}")
    plot(history, args.output.rsplit(".", 1)[0] + "-loss.png")


if __name__ == "__main__":
    main()
