# SPDX-License-Identifier: GPL-3.0-or-later

"""A model mirror on loopback: serves one file at the weights' route, whole,
cut short, slowly or not at all, as a test sets it."""

import http.server
import os
import threading
import time

ROUTE = "/torchaudio/models/hdemucs_high_trained.pt"


class Mirror:
    """Serves `body_path` at ROUTE. `mode`: "whole"; "cut" (announces the
    whole length, sends half, closes); "slow" (a chunk every 0.2 s, until
    `release` is set); "missing" (404)."""

    def __init__(self, body_path):
        self.body_path = body_path
        self.mode = "whole"
        self.requests = 0
        self.release = threading.Event()
        mirror = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                mirror.requests += 1
                if self.path != ROUTE or mirror.mode == "missing":
                    self.send_error(404)
                    return
                size = os.path.getsize(mirror.body_path)
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(size))
                self.end_headers()
                sent = 0
                limit = size // 2 if mirror.mode == "cut" else size
                try:
                    with open(mirror.body_path, "rb") as body:
                        while sent < limit:
                            chunk = body.read(min(1 << 20, limit - sent))
                            self.wfile.write(chunk)
                            sent += len(chunk)
                            if mirror.mode == "slow" and not mirror.release.is_set():
                                time.sleep(0.2)
                except (BrokenPipeError, ConnectionResetError):
                    pass
                self.close_connection = True

            def log_message(self, *arguments):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.release.set()
        self.server.shutdown()
        self.server.server_close()
