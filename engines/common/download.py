# SPDX-License-Identifier: GPL-3.0-or-later

"""Model files fetched over the network, whole or not at all.

A download goes to a hidden temporary file beside its target and is renamed
into place only when every announced byte has arrived, so a cut, failed or
cancelled download never leaves a file under the name an engine loads.
Progress is printed as "下载模型 N%（x / y MB）" lines, a kind of their own, so
that the window does not take them for the separation's progress.
"""

import hashlib
import os
import socket
import tempfile
import urllib.error
import urllib.parse
import urllib.request

from engine_io import EngineError

# A base URL that replaces the scheme and host of every model address: for
# machines behind a firewall with their own copy, and for the tests.
MIRROR_VARIABLE = "TONFIELD_MODEL_MIRROR"
CHUNK = 1 << 20
MEGABYTE = 1000 * 1000  # as file managers count them
TIMEOUT_SECONDS = 30


class ServerRefused(EngineError):
    """The server answered with an HTTP error: the file is not there, as
    opposed to a download that broke off."""

    def __init__(self, reason, code):
        super().__init__(reason)
        self.code = code


def mirrored(url, environment=os.environ):
    """`url`, or its path under the mirror when one is set."""
    base = environment.get(MIRROR_VARIABLE, "").strip()
    if not base:
        return url
    parts = urllib.parse.urlsplit(url)
    path = parts.path + (f"?{parts.query}" if parts.query else "")
    return f"{base.rstrip('/')}{path}"


def download_file(url, target):
    """Fetches `url` into `target`, replacing nothing until it is whole."""
    folder = os.path.dirname(target) or "."
    os.makedirs(folder, exist_ok=True)
    handle, temporary = tempfile.mkstemp(prefix=".download-", dir=folder)
    try:
        with os.fdopen(handle, "wb") as out:
            received, expected = fetch(url, out)
        if expected is not None and received != expected:
            raise EngineError(f"无法下载模型：下载不完整（收到 {received / MEGABYTE:.0f} / "
                              f"{expected / MEGABYTE:.0f} MB）：{url}")
        if received == 0:
            raise EngineError(f"无法下载模型：服务器返回了空文件：{url}")
        os.chmod(temporary, 0o644)  # mkstemp makes it private
        os.replace(temporary, target)
    finally:
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
        raise ServerRefused(f"无法下载模型：服务器回答 {error.code} {error.reason}：{url}", error.code)
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
    announced). Returns what it showed."""
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
