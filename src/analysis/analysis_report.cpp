// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/analysis_report.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <sstream>

namespace tonfield::analysis {
namespace {

// To `parts` parts of a unit: divided last, so that the result is the double
// nearest the decimal and prints as it.
double rounded(double value, double parts)
{
    return std::round(value * parts) / parts;
}

nlohmann::ordered_json times(const std::vector<double>& seconds)
{
    auto list = nlohmann::ordered_json::array();
    for (double at : seconds)
        list.push_back(rounded(at, 1000));
    return list;
}

} // namespace

std::string pitchName(int pitchClass)
{
    static const char* const names[12] = {"C",  "C#", "D",  "Eb", "E",  "F",
                                          "F#", "G",  "Ab", "A",  "Bb", "B"};
    return names[((pitchClass % 12) + 12) % 12];
}

std::string chordLabel(const ChordSpan& chord)
{
    if (!chord.root)
        return "N";
    return pitchName(*chord.root) + (chord.minor ? ":min" : ":maj");
}

std::string toJson(const MusicalAnalysis& analysis, const std::string& input)
{
    nlohmann::ordered_json json;
    json["input"] = input;
    json["duration"] = rounded(analysis.duration, 1000);
    json["tempo"] = rounded(analysis.tempo, 10);
    json["meter"] = analysis.meter;
    json["beats"] = times(analysis.beats);
    json["downbeats"] = times(analysis.downbeats);
    if (analysis.key) {
        json["key"] = {{"tonic", pitchName(analysis.key->tonic)},
                       {"mode", analysis.key->minor ? "minor" : "major"},
                       {"confidence", rounded(analysis.key->confidence, 100)}};
    } else {
        json["key"] = nullptr;
    }
    auto chords = nlohmann::ordered_json::array();
    for (const ChordSpan& chord : analysis.chords)
        chords.push_back({{"start", rounded(chord.start, 1000)},
                          {"end", rounded(chord.end, 1000)},
                          {"label", chordLabel(chord)}});
    json["chords"] = std::move(chords);
    // Replaced, not thrown on: a file name need not be UTF-8.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string summary(const MusicalAnalysis& analysis, const std::string& input)
{
    std::ostringstream text;
    text.setf(std::ios::fixed);
    text.precision(1);
    text << input << "\n  ";
    if (analysis.beats.empty())
        text << "没有找到节拍";
    else
        text << analysis.tempo << " BPM · " << analysis.meter << "/4";
    if (analysis.key)
        text << " · " << pitchName(analysis.key->tonic)
             << (analysis.key->minor ? " 小调" : " 大调");
    int changes = 0;
    for (const ChordSpan& chord : analysis.chords)
        changes += chord.root ? 1 : 0;
    text << "\n  " << analysis.beats.size() << " 拍，" << analysis.downbeats.size() << " 小节，"
         << changes << " 个和弦段，时长 " << analysis.duration << " 秒\n";
    return text.str();
}

} // namespace tonfield::analysis
