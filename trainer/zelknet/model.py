"""The network as the engine runs it: a sparse first layer with one shared bias, a second
layer with one shared bias, leaky rectifiers of slope 1/16, heads without bias, and for
head 1 the blend of outputs 0 and 1 by game phase."""

import torch
from torch import nn

from .netfile import NetParams


class ZelkNet(nn.Module):
    def __init__(self, inputs, hidden1, hidden2, outputs):
        super().__init__()
        self.inputs = inputs
        self.w1 = nn.EmbeddingBag(inputs, hidden1, mode="sum")
        self.b1 = nn.Parameter(torch.zeros(1))
        self.w2 = nn.Linear(hidden1, hidden2, bias=False)
        self.b2 = nn.Parameter(torch.zeros(1))
        self.w3 = nn.Linear(hidden2, outputs, bias=False)
        with torch.no_grad():
            # Small first-layer rows, but well above the file's 1/2000 step.
            self.w1.weight.uniform_(-0.05, 0.05)
            self.b1.fill_(0.1)

    def forward(self, features, offsets, phase, head):
        a = nn.functional.leaky_relu(self.w1(features, offsets) + self.b1, 0.0625)
        b = nn.functional.leaky_relu(self.w2(a) + self.b2, 0.0625)
        out = self.w3(b)
        picked = out.gather(1, head.unsqueeze(1)).squeeze(1)
        if out.shape[1] > 1:
            blend = phase * out[:, 0] + (1.0 - phase) * out[:, 1]
            picked = torch.where(head == 1, blend, picked)
        return picked

    def params(self, inputs_a, inputs_b):
        return NetParams(inputs_a, inputs_b,
                         self.w1.weight.detach().numpy(), self.w2.weight.detach().numpy(),
                         self.w3.weight.detach().numpy(), self.b1.item(), self.b2.item())

    def load_params(self, p):
        with torch.no_grad():
            self.w1.weight.copy_(torch.from_numpy(p.w1))
            self.w2.weight.copy_(torch.from_numpy(p.w2))
            self.w3.weight.copy_(torch.from_numpy(p.w3))
            self.b1.fill_(p.bias1)
            self.b2.fill_(p.bias2)
