#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later

"""How well `tonfield analyze` finds beats, bars, tempo, key and chords, and
how fast, on General MIDI songs from Debian (openttd-openmsx) rendered with
FluidSynth, whose truth comes from the MIDI files themselves: the beats and
bar lines from the tempo map and time signature, the key from the key
signature where the file has one, the chords from the notes sounding in each
beat (the best-fitting major or minor triad, or none).

    /usr/bin/python3 bench/analysis_eval.py TONFIELD [--cache DIR] [--count N]

Measures: beat F-measure (±70 ms), tempo within 4 %, key score (1 exact,
0.5 a fifth away, 0.3 relative, 0.2 parallel), chord overlap (the share of
the beats whose truth is a triad that get that triad), and the analysis time
(the command's wall time, decoding included) per minute of audio.
"""

import argparse
import glob
import json
import os
import subprocess
import sys
import tempfile
import time

import mido
import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "engines", "reference", "evaluation"))
import songs  # noqa: E402  (the engine evaluation's renderer and MIDI folder)

TONICS = ["C", "C#", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"]
SPELLINGS = {"Db": 1, "D#": 3, "Gb": 6, "G#": 8, "A#": 10, "Cb": 11, "E#": 5, "B#": 0, "Fb": 4}
DRUM_CHANNEL = 9


def pitch_class(name):
    return TONICS.index(name) if name in TONICS else SPELLINGS[name]


def truth_of(midi):
    """Beat and bar times, the key, and a chord a beat, from the file."""
    events = []  # (seconds, message) in order
    seconds = 0.0
    tempo = 500000
    ticks = 0
    tempo_map = [(0, 0.0, tempo)]  # tick, seconds, tempo from there
    for message in mido.merge_tracks(midi.tracks):
        if message.time:
            seconds += mido.tick2second(message.time, midi.ticks_per_beat, tempo)
            ticks += message.time
        if message.type == "set_tempo":
            tempo = message.tempo
            tempo_map.append((ticks, seconds, tempo))
        events.append((seconds, ticks, message))

    def at_tick(tick):
        # The last tempo set at or before the tick (several may share one).
        start = [entry for entry in tempo_map if entry[0] <= tick][-1]
        return start[1] + mido.tick2second(tick - start[0], midi.ticks_per_beat, start[2])

    notes, sounding = [], {}
    numerator, key = 4, None
    for when, _, message in events:
        if message.type == "time_signature" and when == 0:
            numerator = message.numerator if message.denominator == 4 else numerator
        if message.type == "key_signature" and key is None:
            name = message.key
            key = (pitch_class(name.rstrip("m")), name.endswith("m"))
        if getattr(message, "channel", DRUM_CHANNEL) == DRUM_CHANNEL:
            continue
        if message.type == "note_on" and message.velocity > 0:
            sounding[(message.channel, message.note)] = when
        elif message.type in ("note_off", "note_on"):
            start = sounding.pop((message.channel, message.note), None)
            if start is not None:
                notes.append((start, when, message.note % 12))
    end = max(stop for _, stop, _ in notes)
    beats = []
    tick = 0
    while at_tick(tick) < end:
        beats.append(at_tick(tick))
        tick += midi.ticks_per_beat
    bars = beats[::numerator]
    chords = []
    for first, last in zip(beats, beats[1:] + [end]):
        chroma = np.zeros(12)
        for start, stop, pc in notes:
            chroma[pc] += max(0.0, min(stop, last) - max(start, first))
        chords.append(triad_of(chroma))
    return {"beats": beats, "bars": bars, "meter": numerator, "key": key,
            "chords": chords, "end": end}


def triad_of(chroma):
    """The best-fitting major or minor triad, or None when nothing sounds."""
    if not chroma.any():
        return None
    best, best_fit = None, 0.0
    for root in range(12):
        for minor in (False, True):
            shape = np.zeros(12)
            shape[[root, (root + (3 if minor else 4)) % 12, (root + 7) % 12]] = 1
            fit = chroma @ shape / (np.linalg.norm(chroma) * np.sqrt(3))
            if fit > best_fit:
                best, best_fit = (root, minor), fit
    return best if best_fit >= 0.6 else None


def f_measure(found, truth, tolerance=0.07):
    if not found or not truth:
        return 0.0
    found, truth = np.array(found), np.array(truth)
    hits_found = sum(np.min(np.abs(truth - at)) <= tolerance for at in found)
    hits_truth = sum(np.min(np.abs(found - at)) <= tolerance for at in truth)
    precision, recall = hits_found / len(found), hits_truth / len(truth)
    return 0.0 if precision + recall == 0 else 2 * precision * recall / (precision + recall)


def key_score(found, truth):
    if found is None:
        return 0.0
    tonic, minor = pitch_class(found["tonic"]), found["mode"] == "minor"
    if (tonic, minor) == truth:
        return 1.0
    if minor == truth[1] and (tonic - truth[0]) % 12 in (5, 7):
        return 0.5
    relative = (truth[0] + (9 if not truth[1] else 3)) % 12
    if minor != truth[1] and tonic == relative:
        return 0.3
    if minor != truth[1] and tonic == truth[0]:
        return 0.2
    return 0.0


def chord_overlap(found, truth):
    """The share of the beats with a triad in the truth whose middle the
    analysis labels with that triad."""
    labelled, agreed = 0, 0
    for (first, last), chord in zip(zip(truth["beats"], truth["beats"][1:] + [truth["end"]]),
                                    truth["chords"]):
        if chord is None:
            continue
        labelled += 1
        middle = (first + last) / 2
        label = f"{TONICS[chord[0]]}:{'min' if chord[1] else 'maj'}"
        agreed += any(span["start"] <= middle < span["end"] and span["label"] == label
                      for span in found)
    return agreed / labelled if labelled else float("nan")


def render_song(name, cache):
    path = os.path.join(cache, name + ".wav")
    if not os.path.isfile(path):
        import soundfile as sf
        midi = mido.MidiFile(os.path.join(songs.MIDI_FOLDER, name + ".mid"))
        with tempfile.TemporaryDirectory() as scratch:
            audio = songs.render(midi, scratch)
        sf.write(path, audio, songs.RATE, subtype="FLOAT")
    return path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tonfield")
    parser.add_argument("--cache", default=os.path.join(tempfile.gettempdir(),
                                                        "tonfield-analysis-songs"))
    parser.add_argument("--count", type=int, default=0)
    arguments = parser.parse_args()
    os.makedirs(arguments.cache, exist_ok=True)
    names = sorted(os.path.basename(path)[:-4]
                   for path in glob.glob(os.path.join(songs.MIDI_FOLDER, "*.mid")))
    if arguments.count:
        names = names[:arguments.count]

    rows, audio_minutes, spent = [], 0.0, 0.0
    print(f"{'song':28} {'tempo':>13} {'beat F':>6} {'bar F':>6} {'meter':>5} "
          f"{'key':>11} {'chords':>6}")
    for name in names:
        midi = mido.MidiFile(os.path.join(songs.MIDI_FOLDER, name + ".mid"))
        truth = truth_of(midi)
        if len(truth["beats"]) < 8:
            continue
        wav = render_song(name, arguments.cache)
        started = time.monotonic()
        result = subprocess.run([arguments.tonfield, "analyze", "--json", wav],
                                capture_output=True, text=True, check=True)
        spent += time.monotonic() - started
        found = json.loads(result.stdout)
        audio_minutes += found["duration"] / 60
        intervals = np.diff(truth["beats"])
        true_tempo = 60 / np.median(intervals)
        steady = np.ptp(intervals) < 0.02 * np.median(intervals)
        row = {
            "tempo_ok": abs(found["tempo"] - true_tempo) <= 0.04 * true_tempo,
            "beat_f": f_measure(found["beats"], truth["beats"]),
            "bar_f": f_measure(found["downbeats"], truth["bars"]),
            "meter_ok": found["meter"] == truth["meter"],
            "key": key_score(found["key"], truth["key"]) if truth["key"] else None,
            "chords": chord_overlap(found["chords"], truth),
            "steady": steady,
        }
        rows.append(row)
        key_text = "—" if row["key"] is None else (
            f"{found['key']['tonic'] if found['key'] else '?'}"
            f"{'m' if found['key'] and found['key']['mode'] == 'minor' else ''}"
            f"/{TONICS[truth['key'][0]]}{'m' if truth['key'][1] else ''} {row['key']:.1f}")
        print(f"{name[:28]:28} {found['tempo']:6.1f}/{true_tempo:6.1f} {row['beat_f']:6.2f} "
              f"{row['bar_f']:6.2f} {found['meter']}/{truth['meter']:<3} {key_text:>11} "
              f"{row['chords']:6.2f}")

    steady = [row for row in rows if row["steady"]]
    keyed = [row["key"] for row in rows if row["key"] is not None]
    print()
    print(f"songs: {len(rows)} ({len(steady)} at a steady tempo, {len(keyed)} with a key signature)")
    print(f"beat F-measure, steady tempo (mean): {np.mean([r['beat_f'] for r in steady]):.2f}")
    print(f"beat F-measure, all (mean):          {np.mean([r['beat_f'] for r in rows]):.2f}")
    print(f"tempo within 4 %:                    {np.mean([r['tempo_ok'] for r in rows]):.0%}")
    print(f"bar line F-measure (mean):           {np.mean([r['bar_f'] for r in rows]):.2f}")
    print(f"meter right:                         {np.mean([r['meter_ok'] for r in rows]):.0%}")
    print(f"key score (mean):                    {np.mean(keyed):.2f}" if keyed else "key: no truth")
    print(f"chord overlap (mean):                {np.nanmean([r['chords'] for r in rows]):.2f}")
    print(f"analysis time: {spent / audio_minutes:.2f} s a minute of audio "
          f"({spent / audio_minutes / 60:.1%} of its length)")


if __name__ == "__main__":
    sys.exit(main())
