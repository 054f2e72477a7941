// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/timeline_text.hpp"

#include <cmath>
#include <cstdio>

namespace tonfield::analysis {
namespace {

int moved(int pitchClass, int semitones)
{
    return ((pitchClass + semitones) % 12 + 12) % 12;
}

std::string bpm(double tempo)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", tempo);
    return text;
}

} // namespace

std::string keyName(const Key& key)
{
    return pitchName(key.tonic) + (key.minor ? " 小调" : " 大调");
}

std::string chordSymbol(const ChordSpan& chord, int semitones)
{
    if (!chord.root)
        return {};
    return pitchName(moved(*chord.root, semitones)) + (chord.minor ? "m" : "");
}

std::string tempoAndKey(const MusicalAnalysis& analysis, double speed, int semitones)
{
    std::string text;
    if (analysis.tempo > 0) {
        const std::string heard = bpm(analysis.tempo * speed);
        const std::string own = bpm(analysis.tempo);
        text = heard + " BPM" + (heard != own ? "（原速 " + own + "）" : "");
    } else {
        text = "未找到节拍";
    }
    text += " · ";
    if (!analysis.key)
        return text + "调性未知";
    Key heard = *analysis.key;
    heard.tonic = moved(heard.tonic, semitones);
    text += keyName(heard);
    if (heard.tonic != analysis.key->tonic)
        text += "（原调 " + keyName(*analysis.key) + "）";
    return text;
}

} // namespace tonfield::analysis
