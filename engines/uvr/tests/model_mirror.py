# SPDX-License-Identifier: GPL-3.0-or-later

"""The model files the library fetches, made for the tests and served from a
loopback mirror laid out as TONFIELD_MODEL_MIRROR expects: each file at its
address's path. The weights are random bytes; the listings are shaped as the
library reads UVR's (filelists/download_checks.json, the MDX model data keyed
by the MD5 of a model file's last 10 MB)."""

import hashlib
import http.server
import json
import os
import threading

UVR_DATA = "/TRvlvr/application_data/main"
UVR_MODELS = "/TRvlvr/model_repo/releases/download/all_public_uvr_models"
DEMUCS = "/demucs/hybrid_transformer"
MDX_MODEL = "UVR-MDX-NET-Inst_HQ_3.onnx"
# The signatures the real bags name.
DEMUCS_MODELS = {"htdemucs": ("955717e8", ["drums", "bass", "other", "vocals"]),
                 "htdemucs_6s": ("5c90dfd2", ["drums", "bass", "other", "vocals", "guitar", "piano"])}


def make_models(root):
    """Writes every file into `root` at its route; returns {name: route} for
    the weights."""
    def put(route, content):
        path = root + route
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content)

    routes = {}
    onnx = os.urandom(3 << 20)
    put(f"{UVR_MODELS}/{MDX_MODEL}", onnx)
    routes[MDX_MODEL] = f"{UVR_MODELS}/{MDX_MODEL}"
    demucs_list = {}
    for name, (signature, sources) in DEMUCS_MODELS.items():
        checkpoint = json.dumps({"sources": sources, "padding": "x" * (1 << 20)}).encode()
        file = f"{signature}-{hashlib.sha256(checkpoint).hexdigest()[:8]}.th"
        put(f"{DEMUCS}/{file}", checkpoint)
        put(f"{UVR_MODELS}/{name}.yaml", f"models: ['{signature}']\n".encode())
        routes[file] = f"{DEMUCS}/{file}"
        demucs_list[f"Demucs v4: {name}"] = {
            file: f"https://dl.fbaipublicfiles.com{DEMUCS}/{file}",
            f"{name}.yaml": f"https://github.com{UVR_MODELS}/{name}.yaml",
        }
    listing = {"vr_download_list": {}, "mdx_download_vip_list": {},
               "mdx_download_list": {"MDX-Net Model: UVR-MDX-NET Inst HQ 3": MDX_MODEL},
               "demucs_download_list": demucs_list}
    put(f"{UVR_DATA}/filelists/download_checks.json", json.dumps(listing).encode())
    mdx_data = {hashlib.md5(onnx[-10000 * 1024:]).hexdigest(): {
        "compensate": 1.022, "mdx_dim_f_set": 3072, "mdx_dim_t_set": 8,
        "mdx_n_fft_scale_set": 6144, "primary_stem": "Instrumental"}}
    put(f"{UVR_DATA}/mdx_model_data/model_data_new.json", json.dumps(mdx_data).encode())
    put(f"{UVR_DATA}/vr_model_data/model_data_new.json", b"{}")
    return routes


class Mirror:
    """Serves `root`; a route in `cut` announces its whole length, sends half
    and closes, as a dropped connection does."""

    def __init__(self, root):
        self.root = root
        self.cut = set()
        mirror = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                path = os.path.realpath(mirror.root + self.path)
                if not path.startswith(os.path.realpath(mirror.root)) or not os.path.isfile(path):
                    self.send_error(404)
                    return
                with open(path, "rb") as body:
                    content = body.read()
                self.send_response(200)
                self.send_header("Content-Length", str(len(content)))
                self.end_headers()
                self.wfile.write(content[:len(content) // 2] if self.path in mirror.cut else content)
                self.close_connection = True

            def log_message(self, *arguments):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()
