# SPDX-License-Identifier: GPL-3.0-or-later
# A stand-in (see audio_separator/__init__.py).
from .separator import Separator  # noqa: F401
