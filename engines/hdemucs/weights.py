# SPDX-License-Identifier: GPL-3.0-or-later

"""The Hybrid Demucs weights: downloaded once into the engine folder's
data/models, checked at every later run.

torchaudio's own helper (torchaudio.utils.download_asset) is not used: it
checks no hash for this model, and torch.hub's download under it accepts a
body shorter than its Content-Length. Here a download goes to a temporary
file renamed only when every announced byte has arrived, and the file's size
and SHA-256 are recorded beside it once it has loaded into the model; a file
that no longer matches that record is removed and fetched again.
"""

import hashlib
import os
import socket
import tempfile
import urllib.error
import urllib.parse
import urllib.request

from engine_io import EngineError

# The route under download.pytorch.org that torchaudio's pipeline
# HDEMUCS_HIGH_MUSDB_PLUS loads (torchaudio 0.13, _source_separation_pipeline).
MODEL_KEY = "torchaudio/models/hdemucs_high_trained.pt"
DEFAULT_BASE = "https://download.pytorch.org"
# A base URL that replaces the host part of the address above: for machines
# behind a firewall with their own copy, and for the tests.
MIRROR_VARIABLE = "TONFIELD_MODEL_MIRROR"
CHUNK = 1 << 20
MEGABYTE = 1000 * 1000  # as file managers count them
TIMEOUT_SECONDS = 30


def model_url(environment=os.environ):
    base = environment.get(MIRROR_VARIABLE, "").strip() or DEFAULT_BASE
    return f"{base.rstrip('/')}/{MODEL_KEY}"


class Weights:
    """The weights file of one engine folder and its record."""

    def __init__(self, engine_folder):
        self.folder = os.path.join(engine_folder, "data", "models")
        self.path = os.path.join(self.folder, os.path.basename(MODEL_KEY))
        self.record = self.path + ".sha256"

    def obtain(self):
        """The path of weights that are whole: those recorded, or a fresh
        download. A recorded file that changed is removed first."""
        if os.path.exists(self.path) and not self.matches_record():
            self.remove()
            print("模型文件已损坏（大小或校验和与记录不符），已删除，重新下载", flush=True)
        if not os.path.exists(self.path):
            self.download(model_url())
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

    def download(self, url):
        os.makedirs(self.folder, exist_ok=True)
        handle, temporary = tempfile.mkstemp(prefix=".download-", dir=self.folder)
        try:
            with os.fdopen(handle, "wb") as out:
                received, expected = fetch(url, out)
            if expected is not None and received != expected:
                raise EngineError(f"无法下载模型：下载不完整（收到 {received / MEGABYTE:.0f} / "
                                  f"{expected / MEGABYTE:.0f} MB）：{url}")
            if received == 0:
                raise EngineError(f"无法下载模型：服务器返回了空文件：{url}")
            os.chmod(temporary, 0o644)  # mkstemp makes it private
            os.replace(temporary, self.path)
        finally:
            # A failed, cut or cancelled download leaves nothing behind.
            if os.path.exists(temporary):
                os.remove(temporary)
        print(flush=True)


def fetch(url, out):
    """Copies the body at `url` into `out`, printing its progress; returns the
    bytes received and those announced (None when not announced)."""
    request = urllib.request.Request(url, headers={"User-Agent": "Tonfield"})
    received = 0
    try:
        with urllib.request.urlopen(request, timeout=TIMEOUT_SECONDS) as response:
            length = response.headers.get("Content-Length")
            expected = int(length) if length and length.isdigit() else None
            shown = -1
            while True:
                chunk = response.read(CHUNK)
                if not chunk:
                    break
                out.write(chunk)
                received += len(chunk)
                shown = print_download(received, expected, shown)
    except urllib.error.HTTPError as error:
        raise EngineError(f"无法下载模型：服务器回答 {error.code} {error.reason}：{url}")
    except urllib.error.URLError as error:
        raise EngineError(f"无法下载模型：{describe(error.reason)}：{url}")
    except (socket.timeout, TimeoutError):
        raise EngineError(f"无法下载模型：{TIMEOUT_SECONDS} 秒没有收到数据：{url}")
    except ConnectionError as error:
        raise EngineError(f"无法下载模型：连接中断（{error.strerror or error}）：{url}")
    except ValueError as error:
        raise EngineError(f"无法下载模型：地址无效（{error}）：{url}")
    return received, expected


def print_download(received, expected, shown):
    """One progress line per whole percent (per megabyte when the size is not
    announced): a line of its own kind, so that the window does not take it
    for the separation's progress. Returns what it showed."""
    if expected:
        percent = 100 * received // expected
        if percent != shown:
            print(f"\r下载模型 {percent}%（{received / MEGABYTE:.0f} / "
                  f"{expected / MEGABYTE:.0f} MB）", end="", flush=True)
        return percent
    megabytes = received // MEGABYTE
    if megabytes != shown:
        print(f"\r下载模型 {megabytes} MB", end="", flush=True)
    return megabytes


def describe(reason):
    if isinstance(reason, OSError) and reason.strerror:
        return reason.strerror
    return str(reason)


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as handle:
        for block in iter(lambda: handle.read(CHUNK), b""):
            digest.update(block)
    return digest.hexdigest()
