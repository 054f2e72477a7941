# SPDX-License-Identifier: GPL-3.0-or-later

"""A stand-in for audio-separator 0.47.1, NOT the library: the interface its
documentation describes, with stems that are scaled copies of the input."""
