#!/usr/bin/python3
"""Trains the evaluation network on the engine's data lines and writes the network file.

  /usr/bin/python3 trainer/train.py DATA.epd [DATA2.epd ...] -o nets/nn.bin

Targets mix the game result with the search score's win probability; the loss is the mean
squared error between the sigmoid of the network's logit and the target. The validation set is
made of whole stretches of the files, so that it shares (almost) no games with the training set;
the weights of the epoch with the lowest validation loss are written. Prints the training and
validation loss per epoch, the validation loss of the quantised file as the engine loads it, and
plots both curves to a PNG beside the output.
"""

import argparse
import os
import sys
import time

# The small dense layers run on OpenBLAS (trainer/install.sh installs it; Debian's reference BLAS
# made them most of the training time). Its own threads only fight torch's for the cores here.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402
import torch  # noqa: E402

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from zelknet import data, features as fx, netfile  # noqa: E402
from zelknet.model import ZelkNet  # noqa: E402


def batches(d, tgt, index, size, rng=None):
    order = rng.permutation(index) if rng is not None else index
    ends = np.append(d["offsets"], len(d["features"]))
    for start in range(0, len(order), size):
        rows = order[start:start + size]
        lengths = ends[rows + 1] - ends[rows]
        offs = np.concatenate([[0], np.cumsum(lengths)[:-1]])
        # Each row's features, gathered in one indexing step.
        feats = d["features"][np.repeat(ends[rows] - offs, lengths) + np.arange(lengths.sum())].astype(np.int64)
        yield (torch.from_numpy(feats), torch.from_numpy(offs), torch.from_numpy(d["phase"][rows]),
               torch.from_numpy(d["head"][rows]), torch.from_numpy(tgt[rows]))


def evaluate_loss(model, d, tgt, index, size=32768):
    model.eval()
    total, n = 0.0, 0
    with torch.no_grad():
        for f, o, ph, h, t in batches(d, tgt, index, size):
            p = torch.sigmoid(model(f, o, ph, h))
            total += float(((p - t) ** 2).sum())
            n += len(t)
    model.train()
    return total / max(n, 1)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data", nargs="+")
    ap.add_argument("-o", "--output", default="nn.bin")
    ap.add_argument("--hidden1", type=int, default=128)
    ap.add_argument("--hidden2", type=int, default=32)
    ap.add_argument("--outputs", type=int, default=2)
    ap.add_argument("--inputs", type=int, default=fx.STANDARD_INPUTS,
                    choices=[fx.STANDARD_INPUTS, fx.EXTENDED_INPUTS],
                    help="896: standard inputs; 1792: a second set when the kings stand on different wings")
    ap.add_argument("--lambda", dest="lam", type=float, default=0.75, help="share of the search score in the target")
    ap.add_argument("--epochs", type=int, default=20)
    ap.add_argument("--batch", type=int, default=16384)
    ap.add_argument("--lr", type=float, default=1e-3)
    ap.add_argument("--validation", type=float, default=0.05)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--threads", type=int, default=2)
    ap.add_argument("--init", help="network file to start from (its sizes replace --hidden1/--hidden2/--outputs)")
    args = ap.parse_args()

    torch.manual_seed(args.seed)
    torch.set_num_threads(args.threads)
    # Adam's moments of inputs a batch rarely touches decay into denormal floats, which the
    # CPU handles many times slower: every epoch grew slower than the one before.
    torch.set_flush_denormal(True)
    rng = np.random.default_rng(args.seed)
    start_net = None
    if args.init:
        start_net = netfile.read_networks(args.init, quantised=False)[0]
        if start_net.inputs_a + start_net.inputs_b != args.inputs:
            sys.exit(f"{args.init} has {start_net.inputs_a + start_net.inputs_b} inputs, --inputs is {args.inputs}")
        args.hidden1, args.hidden2, args.outputs = start_net.sizes
    d = data.load_all(args.data, args.inputs, args.outputs)
    tgt = data.targets(d, args.lam)
    sizes = [data.cached_lengths(data.ensure_cached(p, args.inputs, args.outputs))["result"] for p in args.data]
    val, train = split_files(sizes, args.validation)
    print(f"positions: {len(tgt)} ({len(train)} training, {len(val)} validation)", flush=True)

    model = ZelkNet(args.inputs, args.hidden1, args.hidden2, args.outputs)
    if start_net:
        model.load_params(start_net)
        print(f"starting from {args.init}: validation {evaluate_loss(model, d, tgt, val):.6f}", flush=True)
    opt = torch.optim.Adam(model.parameters(), lr=args.lr)
    sched = torch.optim.lr_scheduler.CosineAnnealingLR(opt, T_max=args.epochs, eta_min=args.lr / 10)
    history, best = [], (float("inf"), 0, None)
    for epoch in range(1, args.epochs + 1):
        start, total, count = time.time(), 0.0, 0
        for f, o, ph, h, t in batches(d, tgt, train, args.batch, rng):
            opt.zero_grad()
            loss = ((torch.sigmoid(model(f, o, ph, h)) - t) ** 2).mean()
            loss.backward()
            opt.step()
            total += float(loss) * len(t)
            count += len(t)
        sched.step()
        v = evaluate_loss(model, d, tgt, val)
        history.append((total / count, v))
        print(f"epoch {epoch:3d}  train {total / count:.6f}  validation {v:.6f}  {time.time() - start:.0f}s", flush=True)
        if v < best[0]:
            best = (v, epoch, {k: t.clone() for k, t in model.state_dict().items()})

    print(f"best epoch {best[1]}: validation {best[0]:.6f}")
    model.load_state_dict(best[2])
    params = model.params(args.inputs, 0)
    netfile.write_networks(args.output, [params])
    loaded = netfile.read_networks(args.output)[0]
    model.load_params(loaded)
    print(f"validation loss after the engine's quantisation: {evaluate_loss(model, d, tgt, val):.6f}")
    plot(history, args.output.rsplit(".", 1)[0] + "-loss.png")


def split_by_stretch(n, share, stretches=200):
    """Validation and training indices: every k-th of `stretches` equal stretches of the
    positions is held out. Games lie in consecutive lines, so only the games cut at a
    stretch's ends are shared."""
    block = np.arange(n) * stretches // max(n, 1)
    step = max(1, round(1 / share)) if share > 0 else 0
    held = block % step == step // 2 if step else np.zeros(n, dtype=bool)
    return np.flatnonzero(held), np.flatnonzero(~held)


def split_files(sizes, share):
    """split_by_stretch() of each file on its own, as indices into the files laid end to end:
    a file's held-out games stay the same whichever files it is trained with, so a network
    fine-tuned on more files is measured on games none of its stages saw."""
    val, train, base = [], [], 0
    for n in sizes:
        v, t = split_by_stretch(n, share)
        val.append(v + base)
        train.append(t + base)
        base += n
    return np.concatenate(val), np.concatenate(train)


def plot(history, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    epochs = range(1, len(history) + 1)
    plt.figure(figsize=(6, 4))
    plt.plot(epochs, [h[0] for h in history], label="training")
    plt.plot(epochs, [h[1] for h in history], label="validation")
    plt.xlabel("epoch")
    plt.ylabel("mean squared error")
    plt.legend()
    plt.tight_layout()
    plt.savefig(path, dpi=100)
    print(f"loss plot: {path}")


if __name__ == "__main__":
    main()
