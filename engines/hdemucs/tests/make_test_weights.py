#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later

"""Writes weights for the Hybrid Demucs engine's tests: torchaudio's
hdemucs_high architecture, randomly initialised (the same seed each time) and
saved as the pipeline's file is, a state dict. They cost what the trained
weights cost and separate nothing.

    make_test_weights.py PATH
"""

import sys

import torch
from torchaudio.models import hdemucs_high


def make_test_weights(path):
    torch.manual_seed(0)
    torch.save(hdemucs_high(sources=["drums", "bass", "other", "vocals"]).state_dict(), path)


if __name__ == "__main__":
    make_test_weights(sys.argv[1])
