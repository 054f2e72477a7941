# SPDX-License-Identifier: GPL-3.0-or-later

"""Songs with known stems, rendered track by track from General MIDI files.

Debian ships the MIDI files (openttd-openmsx) and the soundfont
(fluid-soundfont-gm); FluidSynth renders each stem's channels alone, reverb
and chorus on, and the mixture is the sum of the stems. The highest melodic
part becomes a sung-like lead ("Voice Oohs"), panned to the centre, as the
vocals. Rendering is deterministic: the same files give the same songs.

    /usr/bin/python3 songs.py FOLDER [--seconds N] [--count N]

writes FOLDER/<song>/<Stem>.wav (Vocals, Drums, Bass, Guitar, Piano, Other)
and FOLDER/<song>/mixture.wav, all 44.1 kHz stereo float.
"""

import argparse
import os
import subprocess
import sys
import tempfile

import mido
import numpy as np
import soundfile as sf

MIDI_FOLDER = "/usr/share/games/openttd/baseset/openmsx"
SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
RATE = 44100
# Songs with drums, bass, guitar, piano and more beside: every stem of the
# six-stem mode has something to find.
SONGS = (
    "keep_on_rolling",
    "modern_motion",
    "tttheme2",
    "no_work_song_redfarn",
    "the_hobo_redfarn",
    "be_sharp_bw_redfarn",
)
WINDOW_STEP_SECONDS = 5.0
STEMS = ("Vocals", "Drums", "Bass", "Guitar", "Piano", "Other")
VOICE_PROGRAM = 53  # General MIDI "Voice Oohs"
DRUM_CHANNEL = 9


def family(channel, program):
    if channel == DRUM_CHANNEL:
        return "Drums"
    if 32 <= program <= 39:
        return "Bass"
    if 24 <= program <= 31:
        return "Guitar"
    if program <= 7:
        return "Piano"
    return "Other"


def channel_stems(midi):
    """Which stem each channel plays: the drum channel, the bass, guitar and
    piano programs, and the melodic channel with the highest mean pitch as
    the vocals (the rest is Other). A channel that alone plays the guitar or
    the piano keeps it."""
    programs = {}
    pitches = {}
    for track in midi.tracks:
        for message in track:
            if message.type == "program_change":
                programs.setdefault(message.channel, message.program)
            elif message.type == "note_on" and message.velocity > 0:
                pitches.setdefault(message.channel, []).append(message.note)
    stems = {channel: family(channel, programs.get(channel, 0)) for channel in pitches}
    melodic = [c for c, stem in stems.items()
               if stem not in ("Drums", "Bass") and len(pitches[c]) >= 50]
    shared = [c for c in melodic
              if stems[c] == "Other" or list(stems.values()).count(stems[c]) > 1]
    lead = max(shared or melodic, key=lambda c: np.mean(pitches[c]))
    stems[lead] = "Vocals"
    return stems


def stem_midi(midi, channels, lead):
    """A copy of the song that plays only `channels`; the lead sings, centred."""
    copy = mido.MidiFile(type=midi.type, ticks_per_beat=midi.ticks_per_beat)
    for track in midi.tracks:
        kept = mido.MidiTrack()
        pending = 0
        for message in track:
            pending += message.time
            on_channel = hasattr(message, "channel")
            if on_channel and message.channel not in channels:
                continue
            if on_channel and message.channel == lead:
                if message.type == "program_change":
                    message = message.copy(program=VOICE_PROGRAM)
                elif message.type == "control_change" and message.control == 10:
                    message = message.copy(value=64)
            kept.append(message.copy(time=pending))
            pending = 0
        copy.tracks.append(kept)
    if lead in channels:
        # Centred from the start, whatever the file says before its first pan.
        copy.tracks[0].insert(0, mido.Message("control_change", channel=lead, control=10,
                                              value=64, time=0))
        copy.tracks[0].insert(0, mido.Message("program_change", channel=lead,
                                              program=VOICE_PROGRAM, time=0))
    return copy


def render(midi, scratch):
    path = os.path.join(scratch, "stem.mid")
    wav = os.path.join(scratch, "stem.wav")
    midi.save(path)
    subprocess.run(["fluidsynth", "-q", "-n", "-i", "-r", str(RATE), "-g", "0.5",
                    "-o", "synth.reverb.active=1", "-o", "synth.chorus.active=1",
                    "-o", "synth.cpu-cores=1", "-F", wav, "-T", "wav", "-O", "float",
                    SOUNDFONT, path],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    audio, rate = sf.read(wav, dtype="float64", always_2d=True)
    assert rate == RATE
    return audio


def liveliest_excerpt(stems, seconds):
    """Where, in steps of a few seconds, the quietest stem the song has is
    loudest: the excerpt in which every part plays."""
    length = int(seconds * RATE)
    step = int(WINDOW_STEP_SECONDS * RATE)
    longest = max(len(audio) for audio in stems.values())
    playing = [audio for audio in stems.values() if np.any(audio)]
    best, best_level = 0, -1.0
    for first in range(0, max(longest - length, 0) + 1, step):
        level = min(np.mean(audio[first:first + length] ** 2) for audio in playing)
        if level > best_level:
            best, best_level = first, level
    excerpts = {}
    for stem, audio in stems.items():
        excerpt = np.zeros((length, 2))
        piece = audio[best:best + length]
        excerpt[:len(piece)] = piece
        excerpts[stem] = excerpt
    return excerpts


def make_song(name, seconds, folder):
    midi = mido.MidiFile(os.path.join(MIDI_FOLDER, name + ".mid"))
    stems_of = channel_stems(midi)
    lead = next(c for c, stem in stems_of.items() if stem == "Vocals")
    with tempfile.TemporaryDirectory() as scratch:
        stems = {}
        for stem in STEMS:
            channels = {c for c, s in stems_of.items() if s == stem}
            stems[stem] = (render(stem_midi(midi, channels, lead), scratch)
                           if channels else np.zeros((1, 2)))
    stems = liveliest_excerpt(stems, seconds)
    mixture = sum(stems.values())
    scale = 0.9 / max(np.max(np.abs(mixture)), 1e-9)
    os.makedirs(folder, exist_ok=True)
    for stem, audio in stems.items():
        sf.write(os.path.join(folder, stem + ".wav"), audio * scale, RATE, subtype="FLOAT")
    sf.write(os.path.join(folder, "mixture.wav"), mixture * scale, RATE, subtype="FLOAT")


def make_songs(folder, seconds, count):
    """The first `count` songs, `seconds` long each, made unless already there."""
    made = []
    for name in SONGS[:count]:
        song = os.path.join(folder, f"{name}-{seconds:g}s")
        if not os.path.isfile(os.path.join(song, "mixture.wav")):
            make_song(name, seconds, song)
        made.append(song)
    return made


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--count", type=int, default=len(SONGS))
    arguments = parser.parse_args()
    for song in make_songs(arguments.folder, arguments.seconds, arguments.count):
        print(song)


if __name__ == "__main__":
    sys.exit(main())
