// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/analysis_store.hpp"

#include "model/job_store.hpp"

#include "analysis/analysis_report.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace tonfield::analysis {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

std::optional<double> numberOf(const Json& value)
{
    if (!value.is_number())
        return std::nullopt;
    return value.get<double>();
}

// Seconds that rise strictly and lie within [0, duration].
std::optional<std::vector<double>> timesOf(const Json& value, double duration)
{
    if (!value.is_array())
        return std::nullopt;
    std::vector<double> times;
    for (const Json& item : value) {
        const auto at = numberOf(item);
        if (!at || *at < 0 || *at > duration || (!times.empty() && *at <= times.back()))
            return std::nullopt;
        times.push_back(*at);
    }
    return times;
}

std::optional<int> pitchClassOf(const std::string& name)
{
    for (int pitch = 0; pitch < 12; ++pitch)
        if (pitchName(pitch) == name)
            return pitch;
    return std::nullopt;
}

// {"tonic": "A", "mode": "minor"} as a key of the given confidence; none
// where either is missing or unknown. Read from the analysis and from the
// user's corrections, whose JSON kinds differ.
template <class AnyJson> std::optional<Key> keyOf(const AnyJson& json, double confidence)
{
    if (!json.is_object() || !json.value("tonic", AnyJson()).is_string() ||
        !json.value("mode", AnyJson()).is_string())
        return std::nullopt;
    const auto tonic = pitchClassOf(json["tonic"].template get<std::string>());
    const std::string mode = json["mode"];
    if (!tonic || (mode != "major" && mode != "minor"))
        return std::nullopt;
    return Key{.tonic = *tonic, .minor = mode == "minor", .confidence = confidence};
}

std::optional<ChordSpan> chordOf(const Json& value)
{
    if (!value.is_object() || !value.contains("label") || !value["label"].is_string())
        return std::nullopt;
    const auto start = numberOf(value.value("start", Json()));
    const auto end = numberOf(value.value("end", Json()));
    if (!start || !end || *end <= *start)
        return std::nullopt;
    ChordSpan chord{.start = *start, .end = *end, .root = {}, .minor = false};
    const std::string label = value["label"];
    if (label == "N")
        return chord;
    const auto colon = label.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    chord.root = pitchClassOf(label.substr(0, colon));
    const std::string quality = label.substr(colon + 1);
    if (!chord.root || (quality != "maj" && quality != "min"))
        return std::nullopt;
    chord.minor = quality == "min";
    return chord;
}

Json stampsJson(const std::vector<SourceStamp>& sources)
{
    auto list = Json::array();
    for (const SourceStamp& source : sources)
        list.push_back({{"name", source.name},
                        {"bytes", source.bytes},
                        {"modified", source.modifiedNanoseconds}});
    return list;
}

} // namespace

std::vector<SourceStamp> stampsOf(const std::vector<fs::path>& files)
{
    std::vector<SourceStamp> stamps;
    for (const fs::path& file : files) {
        std::error_code ec;
        SourceStamp stamp{.name = file.filename().string()};
        stamp.bytes = fs::file_size(file, ec);
        if (ec)
            stamp.bytes = 0;
        const auto changed = fs::last_write_time(file, ec);
        if (!ec)
            stamp.modifiedNanoseconds =
                std::chrono::duration_cast<std::chrono::nanoseconds>(changed.time_since_epoch())
                    .count();
        stamps.push_back(std::move(stamp));
    }
    return stamps;
}

namespace {

std::optional<MusicalAnalysis> fromJsonValue(const Json& json)
{
    if (!json.is_object())
        return std::nullopt;
    MusicalAnalysis analysis;
    const auto duration = numberOf(json.value("duration", Json()));
    const auto tempo = numberOf(json.value("tempo", Json()));
    const Json meter = json.value("meter", Json());
    if (!duration || *duration < 0 || !tempo || *tempo < 0 || !meter.is_number_integer() ||
        meter.get<int>() < 1 || meter.get<int>() > 16)
        return std::nullopt;
    analysis.duration = *duration;
    analysis.tempo = *tempo;
    analysis.meter = meter.get<int>();
    auto beats = timesOf(json.value("beats", Json()), analysis.duration);
    auto downbeats = timesOf(json.value("downbeats", Json()), analysis.duration);
    if (!beats || !downbeats)
        return std::nullopt;
    analysis.beats = std::move(*beats);
    analysis.downbeats = std::move(*downbeats);
    const Json key = json.value("key", Json());
    if (!key.is_null()) {
        const auto confidence =
            key.is_object() ? numberOf(key.value("confidence", Json())) : std::nullopt;
        if (!confidence || *confidence < 0 || *confidence > 1)
            return std::nullopt;
        analysis.key = keyOf(key, *confidence);
        if (!analysis.key)
            return std::nullopt;
    }
    const Json chords = json.value("chords", Json());
    if (!chords.is_array())
        return std::nullopt;
    for (const Json& item : chords) {
        auto chord = chordOf(item);
        if (!chord || chord->end > analysis.duration + 1e-6 ||
            (!analysis.chords.empty() && chord->start < analysis.chords.back().end - 1e-6))
            return std::nullopt;
        analysis.chords.push_back(*chord);
    }
    return analysis;
}

} // namespace

std::optional<MusicalAnalysis> fromJson(std::string_view text)
{
    return fromJsonValue(Json::parse(text, nullptr, false));
}

std::optional<MusicalAnalysis> readAnalysis(const fs::path& file,
                                            const std::vector<SourceStamp>& sources)
{
    const auto bytes = readSmallFile(file);
    if (!bytes)
        return std::nullopt;
    const Json json = Json::parse(*bytes, nullptr, false);
    if (!json.is_object() || json.value("sources", Json()) != stampsJson(sources) ||
        !json.contains("analysis"))
        return std::nullopt;
    return fromJsonValue(json["analysis"]);
}

namespace {

using OrderedJson = nlohmann::ordered_json;

// What the file holds, when it is a JSON object; an empty object otherwise.
OrderedJson storedObject(const fs::path& file)
{
    const auto bytes = readSmallFile(file);
    OrderedJson json = bytes ? OrderedJson::parse(*bytes, nullptr, false) : OrderedJson();
    return json.is_object() ? json : OrderedJson::object();
}

std::optional<Corrections> correctionsOf(const OrderedJson& json)
{
    if (!json.is_object())
        return std::nullopt;
    const OrderedJson steps = json.value("tempoSteps", OrderedJson());
    const OrderedJson shift = json.value("barShift", OrderedJson());
    const OrderedJson key = json.value("key", OrderedJson());
    if (!steps.is_number_integer() || !shift.is_number_integer() ||
        std::abs(steps.get<int>()) > Corrections::mostTempoSteps || shift.get<int>() < 0 ||
        shift.get<int>() > 16)
        return std::nullopt;
    Corrections corrections{.tempoSteps = steps, .barShift = shift, .key = {}};
    if (!key.is_null()) {
        corrections.key = keyOf(key, 1.0);
        if (!corrections.key)
            return std::nullopt;
    }
    return corrections;
}

OrderedJson correctionsJson(const Corrections& corrections)
{
    OrderedJson json;
    json["tempoSteps"] = corrections.tempoSteps;
    json["barShift"] = corrections.barShift;
    json["key"] = corrections.key
                      ? OrderedJson{{"tonic", pitchName(corrections.key->tonic)},
                                    {"mode", corrections.key->minor ? "minor" : "major"}}
                      : OrderedJson();
    return json;
}

} // namespace

Result<> writeAnalysis(const fs::path& file, const MusicalAnalysis& analysis,
                       const std::vector<SourceStamp>& sources, const std::string& input)
{
    const OrderedJson stored = storedObject(file);
    OrderedJson json;
    json["sources"] = stampsJson(sources);
    json["analysis"] = OrderedJson::parse(toJson(analysis, input));
    if (stored.contains("user"))
        json["user"] = stored["user"];
    return replaceFile(file, json.dump(1) + "\n");
}

Corrections readCorrections(const fs::path& file)
{
    const OrderedJson stored = storedObject(file);
    return correctionsOf(stored.value("user", OrderedJson())).value_or(Corrections());
}

Result<> writeCorrections(const fs::path& file, const Corrections& corrections)
{
    OrderedJson json = storedObject(file);
    json["user"] = correctionsJson(corrections);
    return replaceFile(file, json.dump(1) + "\n");
}

} // namespace tonfield::analysis
