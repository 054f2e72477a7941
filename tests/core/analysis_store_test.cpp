// SPDX-License-Identifier: GPL-3.0-or-later

// A job's analysis.json: read back while its sources are unchanged, made
// again when they change or the file is not what was written.

#include "analysis/analysis_store.hpp"

#include "fakes/temp_folder.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace tonfield::analysis {
namespace {

namespace fs = std::filesystem;

MusicalAnalysis sample()
{
    MusicalAnalysis analysis;
    analysis.duration = 8;
    analysis.tempo = 120;
    analysis.meter = 4;
    analysis.beats = {0.5, 1.0, 1.5, 2.0, 2.5};
    analysis.downbeats = {0.5, 2.5};
    analysis.key = Key{.tonic = 9, .minor = true, .confidence = 0.75};
    analysis.chords = {{.start = 0, .end = 2, .root = {}, .minor = false},
                       {.start = 2, .end = 8, .root = 9, .minor = true}};
    return analysis;
}

void write(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

TEST(AnalysisStore, ReadsBackWhatItWroteWhileTheSourcesAreUnchanged)
{
    test::TempFolder temp;
    write(temp / "song_(Drums).wav", "drums");
    const auto stamps = stampsOf({temp / "song_(Drums).wav"});
    const fs::path file = temp / "analysis.json";
    ASSERT_TRUE(writeAnalysis(file, sample(), stamps, "job"));

    const auto read = readAnalysis(file, stamps);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->beats, sample().beats);
    EXPECT_EQ(read->downbeats, sample().downbeats);
    EXPECT_EQ(read->tempo, 120);
    ASSERT_TRUE(read->key);
    EXPECT_EQ(read->key->tonic, 9);
    EXPECT_TRUE(read->key->minor);
    ASSERT_EQ(read->chords.size(), 2u);
    EXPECT_FALSE(read->chords[0].root);
    EXPECT_EQ(read->chords[1].root, 9);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 2);

    // The stem separated again: its analysis no longer holds.
    write(temp / "song_(Drums).wav", "drums, again");
    EXPECT_FALSE(readAnalysis(file, stampsOf({temp / "song_(Drums).wav"})));
    EXPECT_FALSE(readAnalysis(file, {}));
}

TEST(AnalysisStore, AFileNotAsWrittenIsMadeAgain)
{
    test::TempFolder temp;
    const fs::path file = temp / "analysis.json";
    EXPECT_FALSE(readAnalysis(file, {})) << "no file";
    ASSERT_TRUE(writeAnalysis(file, sample(), {}, "job"));
    std::ifstream in(file);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"cut short", whole.substr(0, whole.size() / 2)},
        {"not JSON", "\x89PNG"},
        {"beats out of order", R"({"sources":[],"analysis":{"duration":8,"tempo":120,"meter":4,
          "beats":[1.0,0.5],"downbeats":[],"key":null,"chords":[]}})"},
        {"a beat past the end", R"({"sources":[],"analysis":{"duration":8,"tempo":120,"meter":4,
          "beats":[9.0],"downbeats":[],"key":null,"chords":[]}})"},
        {"an unknown chord", R"({"sources":[],"analysis":{"duration":8,"tempo":120,"meter":4,
          "beats":[],"downbeats":[],"key":null,"chords":[{"start":0,"end":1,"label":"H:maj"}]}})"},
        {"an unknown mode", R"({"sources":[],"analysis":{"duration":8,"tempo":120,"meter":4,
          "beats":[],"downbeats":[],"key":{"tonic":"A","mode":"dorian","confidence":1},
          "chords":[]}})"},
        {"a meter as text", R"({"sources":[],"analysis":{"duration":8,"tempo":120,"meter":"4",
          "beats":[],"downbeats":[],"key":null,"chords":[]}})"},
    };
    for (const auto& [what, text] : damaged) {
        write(file, text);
        EXPECT_FALSE(readAnalysis(file, {})) << what;
    }
    fs::remove(file);
    fs::create_directory(file);
    EXPECT_FALSE(readAnalysis(file, {})) << "a folder in its place";
}

} // namespace
} // namespace tonfield::analysis
