# SPDX-License-Identifier: GPL-3.0-or-later

"""A STAND-IN for audio-separator 0.44.1's separator/separator.py (see
audio_separator/__init__.py). The order of its steps, what it logs at ERROR
and what it raises or swallows follow the library's code."""

import hashlib
import importlib
import io
import json
import logging
import os
import subprocess
import time
import warnings
from importlib import metadata

import requests
import yaml


class Separator:
    def __init__(
        self,
        log_level=logging.INFO,
        log_formatter=None,
        model_file_dir="/tmp/audio-separator-models/",
        output_dir=None,
        output_format="WAV",
        output_bitrate=None,
        normalization_threshold=0.9,
        amplification_threshold=0.0,
        output_single_stem=None,
        invert_using_spec=False,
        sample_rate=44100,
        use_soundfile=False,
        use_autocast=False,
        use_directml=False,
        chunk_duration=None,
        mdx_params={"hop_length": 1024, "segment_size": 256, "overlap": 0.25, "batch_size": 1, "enable_denoise": False},
        vr_params={"batch_size": 1, "window_size": 512, "aggression": 5, "enable_tta": False, "enable_post_process": False, "post_process_threshold": 0.2, "high_end_process": False},
        demucs_params={"segment_size": "Default", "shifts": 2, "overlap": 0.25, "segments_enabled": True},
        mdxc_params={"segment_size": 256, "override_model_segment_size": False, "batch_size": 1, "overlap": 8, "pitch_shift": 0},
        ensemble_algorithm=None,
        ensemble_weights=None,
        ensemble_preset=None,
        info_only=False,
    ):
        self.logger = logging.getLogger(__name__)
        self.logger.setLevel(log_level)
        self.log_level = log_level
        self.log_handler = logging.StreamHandler()
        self.log_handler.setFormatter(log_formatter or logging.Formatter("%(asctime)s - %(levelname)s - %(module)s - %(message)s"))
        if not self.logger.hasHandlers():
            self.logger.addHandler(self.log_handler)
        if log_level > logging.DEBUG:
            warnings.filterwarnings("ignore")

        package_version = metadata.distribution("audio-separator").version
        self.logger.info(f"Separator version {package_version} instantiating with output_dir: {output_dir}, output_format: {output_format}")
        if output_dir is None:
            output_dir = os.getcwd()
        self.output_dir = output_dir

        env_model_dir = os.environ.get("AUDIO_SEPARATOR_MODEL_DIR")
        if env_model_dir:
            self.model_file_dir = env_model_dir
            self.logger.info(f"Using model directory from AUDIO_SEPARATOR_MODEL_DIR env var: {self.model_file_dir}")
            if not os.path.exists(self.model_file_dir):
                raise FileNotFoundError(f"The specified model directory does not exist: {self.model_file_dir}")
        else:
            self.model_file_dir = model_file_dir
        os.makedirs(self.model_file_dir, exist_ok=True)
        os.makedirs(self.output_dir, exist_ok=True)

        self.output_format = output_format or "WAV"
        self.output_bitrate = output_bitrate
        self.normalization_threshold = normalization_threshold
        self.amplification_threshold = amplification_threshold
        self.output_single_stem = output_single_stem
        self.invert_using_spec = invert_using_spec
        self.sample_rate = int(sample_rate)
        self.use_soundfile = use_soundfile
        self.use_autocast = use_autocast
        self.chunk_duration = chunk_duration

        # Stored as given: a dict passed here replaces the default whole.
        self.arch_specific_params = {"MDX": mdx_params, "VR": vr_params, "Demucs": demucs_params, "MDXC": mdxc_params}
        self.torch_device = None
        self.model_instance = None
        self.model_filename = None
        if not info_only:
            self.setup_accelerated_inferencing_device()

    def setup_accelerated_inferencing_device(self):
        self.check_ffmpeg_installed()
        self.torch_device = "cpu"  # the library: torch.device("cpu") without a GPU

    def check_ffmpeg_installed(self):
        try:
            ffmpeg_version_output = subprocess.check_output(["ffmpeg", "-version"], text=True)
            self.logger.info(f"FFmpeg installed: {ffmpeg_version_output.splitlines()[0]}")
        except FileNotFoundError:
            self.logger.error("FFmpeg is not installed. Please install FFmpeg to use this package.")
            if "PYTEST_CURRENT_TEST" not in os.environ:
                raise

    def get_model_hash(self, model_path):
        BYTES_TO_HASH = 10000 * 1024
        file_size = os.path.getsize(model_path)
        with open(model_path, "rb") as f:
            if file_size < BYTES_TO_HASH:
                hash_value = hashlib.md5(f.read()).hexdigest()
            else:
                f.seek(file_size - BYTES_TO_HASH, io.SEEK_SET)
                hash_value = hashlib.md5(f.read()).hexdigest()
        self.logger.info(f"Hash of model file {model_path} is {hash_value}")
        return hash_value

    def download_file_if_not_exists(self, url, output_path):
        # In place: a cut download stays behind under the final name.
        if os.path.isfile(output_path):
            return
        response = requests.get(url, stream=True, timeout=300)
        if response.status_code == 200:
            with open(output_path, "wb") as f:
                for chunk in response.iter_content(chunk_size=8192):
                    f.write(chunk)
        else:
            raise RuntimeError(f"Failed to download file from {url}, response code: {response.status_code}")

    def list_supported_model_files(self):
        download_checks_path = os.path.join(self.model_file_dir, "download_checks.json")
        self.download_file_if_not_exists("https://raw.githubusercontent.com/TRvlvr/application_data/main/filelists/download_checks.json", download_checks_path)
        model_downloads_list = json.load(open(download_checks_path, encoding="utf-8"))

        filtered_demucs_v4 = {key: value for key, value in model_downloads_list["demucs_download_list"].items() if key.startswith("Demucs v4")}
        demucs_models = {}
        for name, files in filtered_demucs_v4.items():
            yaml_file = next((filename for filename in files.keys() if filename.endswith(".yaml")), None)
            if yaml_file:
                demucs_models[name] = {"filename": yaml_file, "download_files": list(files.values())}
        return {
            "VR": {name: {"filename": filename, "download_files": [filename]} for name, filename in model_downloads_list["vr_download_list"].items()},
            "MDX": {
                name: {"filename": filename, "download_files": [filename]}
                for name, filename in {**model_downloads_list["mdx_download_list"], **model_downloads_list["mdx_download_vip_list"]}.items()
            },
            "Demucs": demucs_models,
            "MDXC": {},
        }

    def download_model_files(self, model_filename):
        model_path = os.path.join(self.model_file_dir, f"{model_filename}")
        supported_model_files_grouped = self.list_supported_model_files()
        public_model_repo_url_prefix = "https://github.com/TRvlvr/model_repo/releases/download/all_public_uvr_models"
        audio_separator_models_repo_url_prefix = "https://github.com/nomadkaraoke/python-audio-separator/releases/download/model-configs"
        yaml_config_filename = None
        for model_type, models in supported_model_files_grouped.items():
            for model_friendly_name, model_info in models.items():
                if model_info["filename"] == model_filename or model_filename in model_info["download_files"]:
                    for file_to_download in model_info["download_files"]:
                        if file_to_download.startswith("http"):
                            filename = file_to_download.split("/")[-1]
                            self.download_file_if_not_exists(file_to_download, os.path.join(self.model_file_dir, filename))
                            continue
                        download_path = os.path.join(self.model_file_dir, file_to_download)
                        try:
                            self.download_file_if_not_exists(f"{public_model_repo_url_prefix}/{file_to_download}", download_path)
                        except RuntimeError:
                            self.download_file_if_not_exists(f"{audio_separator_models_repo_url_prefix}/{file_to_download}", download_path)
                    return model_filename, model_type, model_friendly_name, model_path, yaml_config_filename
        raise ValueError(f"Model file {model_filename} not found in supported model files")

    def load_model_data_from_yaml(self, yaml_config_filename):
        if not os.path.exists(yaml_config_filename):
            model_data_yaml_filepath = os.path.join(self.model_file_dir, yaml_config_filename)
        else:
            model_data_yaml_filepath = yaml_config_filename
        return yaml.load(open(model_data_yaml_filepath, encoding="utf-8"), Loader=yaml.FullLoader)

    def load_model_data_using_hash(self, model_path):
        model_data_url_prefix = "https://raw.githubusercontent.com/TRvlvr/application_data/main"
        model_hash = self.get_model_hash(model_path)
        vr_model_data_path = os.path.join(self.model_file_dir, "vr_model_data.json")
        self.download_file_if_not_exists(f"{model_data_url_prefix}/vr_model_data/model_data_new.json", vr_model_data_path)
        mdx_model_data_path = os.path.join(self.model_file_dir, "mdx_model_data.json")
        self.download_file_if_not_exists(f"{model_data_url_prefix}/mdx_model_data/model_data_new.json", mdx_model_data_path)
        vr_model_data_object = json.load(open(vr_model_data_path, encoding="utf-8"))
        mdx_model_data_object = json.load(open(mdx_model_data_path, encoding="utf-8"))
        if model_hash in mdx_model_data_object:
            return mdx_model_data_object[model_hash]
        if model_hash in vr_model_data_object:
            return vr_model_data_object[model_hash]
        raise ValueError(f"Unsupported Model File: parameters for MD5 hash {model_hash} could not be found in UVR model data file for MDX or VR arch.")

    def load_model(self, model_filename="model_bs_roformer_ep_317_sdr_12.9755.ckpt"):
        self.model_filename = model_filename
        self.logger.info(f"Loading model {model_filename}...")
        load_model_start_time = time.perf_counter()
        model_filename, model_type, model_friendly_name, model_path, yaml_config_filename = self.download_model_files(model_filename)
        model_name = model_filename.split(".")[0]
        if model_path.lower().endswith(".yaml"):
            yaml_config_filename = model_path
        if yaml_config_filename is not None:
            model_data = self.load_model_data_from_yaml(yaml_config_filename)
        else:
            model_data = self.load_model_data_using_hash(model_path)
        common_params = {
            "logger": self.logger,
            "log_level": self.log_level,
            "torch_device": self.torch_device,
            "model_name": model_name,
            "model_path": model_path,
            "model_data": model_data,
            "output_format": self.output_format,
            "output_bitrate": self.output_bitrate,
            "output_dir": self.output_dir,
            "normalization_threshold": self.normalization_threshold,
            "amplification_threshold": self.amplification_threshold,
            "output_single_stem": self.output_single_stem,
            "invert_using_spec": self.invert_using_spec,
            "sample_rate": self.sample_rate,
            "use_soundfile": self.use_soundfile,
        }
        separator_classes = {"MDX": "mdx_separator.MDXSeparator", "Demucs": "demucs_separator.DemucsSeparator"}
        if model_type not in separator_classes:
            raise ValueError(f"Model type not supported (yet): {model_type}")
        module_name, class_name = separator_classes[model_type].split(".")
        module = importlib.import_module(f"audio_separator.separator.architectures.{module_name}")
        self.model_instance = getattr(module, class_name)(common_config=common_params, arch_config=self.arch_specific_params[model_type])
        self.logger.info(f'Load model duration: {time.strftime("%H:%M:%S", time.gmtime(int(time.perf_counter() - load_model_start_time)))}')

    def separate(self, audio_file_path, custom_output_names=None):
        if not (self.torch_device and self.model_instance):
            raise ValueError("Initialization failed or model not loaded. Please load a model before attempting to separate.")
        if isinstance(audio_file_path, str):
            audio_file_path = [audio_file_path]
        output_files = []
        for path in audio_file_path:
            self.logger.info(f"Processing file: {path}")
            try:
                output_files.extend(self._separate_file(path, custom_output_names))
            except Exception as e:
                self.logger.error(f"Failed to process file {path}: {e}")
        return output_files

    def _separate_file(self, audio_file_path, custom_output_names=None):
        self.logger.info(f"Starting separation process for audio_file_path: {audio_file_path}")
        separate_start_time = time.perf_counter()
        output_files = self.model_instance.separate(audio_file_path, custom_output_names)
        self.model_instance.clear_file_specific_paths()
        self.logger.info(f'Separation duration: {time.strftime("%H:%M:%S", time.gmtime(int(time.perf_counter() - separate_start_time)))}')
        return output_files
