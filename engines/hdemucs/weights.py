# SPDX-License-Identifier: GPL-3.0-or-later

"""The Hybrid Demucs weights: downloaded once into the engine folder's
data/models, checked at every later run.

torchaudio's own helper (torchaudio.utils.download_asset) is not used: it
checks no hash for this model, and torch.hub's download under it accepts a
body shorter than its Content-Length. Here the download is whole or absent
(download.py), and the file's size and SHA-256 are recorded beside it once it
has loaded into the model; a file that no longer matches that record is
removed and fetched again.
"""

import os

from download import download_file, mirrored, sha256

# The address that torchaudio's pipeline HDEMUCS_HIGH_MUSDB_PLUS loads
# (torchaudio 0.13, _source_separation_pipeline).
MODEL_URL = "https://download.pytorch.org/torchaudio/models/hdemucs_high_trained.pt"


class Weights:
    """The weights file of one engine folder and its record."""

    def __init__(self, engine_folder):
        self.folder = os.path.join(engine_folder, "data", "models")
        self.path = os.path.join(self.folder, os.path.basename(MODEL_URL))
        self.record = self.path + ".sha256"

    def obtain(self):
        """The path of weights that are whole: those recorded, or a fresh
        download. A recorded file that changed is removed first."""
        if os.path.exists(self.path) and not self.matches_record():
            self.remove()
            print("模型文件已损坏（大小或校验和与记录不符），已删除，重新下载", flush=True)
        if not os.path.exists(self.path):
            download_file(mirrored(MODEL_URL), self.path)
        return self.path

    def matches_record(self):
        """True when there is no record yet (a download that has not loaded
        once), or the file's size and hash are the recorded ones."""
        try:
            with open(self.record, encoding="ascii") as handle:
                digest, size = handle.read().split()
            recorded = (digest, int(size))
        except FileNotFoundError:
            return True
        except (OSError, ValueError):
            return False
        return os.path.getsize(self.path) == recorded[1] and sha256(self.path) == recorded[0]

    def remember(self):
        """Records the size and hash of weights that have loaded."""
        if os.path.exists(self.record):
            return
        line = f"{sha256(self.path)} {os.path.getsize(self.path)}\n"
        temporary = self.record + ".new"
        with open(temporary, "w", encoding="ascii") as handle:
            handle.write(line)
        os.replace(temporary, self.record)

    def remove(self):
        for path in (self.path, self.record):
            try:
                os.remove(path)
            except FileNotFoundError:
                pass
