// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/mix_renderer.hpp"

#include "model/atomic_file.hpp"

#include "adapters/audio_files.hpp"
#include "adapters/decoded_audio.hpp"
#include "adapters/stem_streams.hpp"
#include "fakes/temp_folder.hpp"
#include "mixer/click_track.hpp"
#include "mixer/mix_bus.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

namespace tonfield {
namespace {
namespace fs = std::filesystem;

class MixRendererTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Two stems of different lengths: the shorter one ends in silence.
        ASSERT_TRUE(test::makeTone(temp / "a_(Vocals).wav", 3.0));
        ASSERT_TRUE(test::makeSweep(temp / "a_(Instrumental).flac", 2.0));
        vocals = test::decodedStereo(temp / "a_(Vocals).wav");
        accompaniment = test::decodedStereo(temp / "a_(Instrumental).flac");
        accompaniment.resize(vocals.size(), 0.0f);
    }
    ports::MixRender mix(std::vector<float> gains, std::string_view format)
    {
        return {{temp / "a_(Vocals).wav", temp / "a_(Instrumental).flac"},
                std::move(gains),
                outputFormatFromRaw(format).value(),
                {},
                {}};
    }
    Result<> render(const ports::MixRender& wanted, const fs::path& file)
    {
        return renderer.render(wanted, file, [](double) { return true; });
    }

    test::TempFolder temp;
    adapters::EncodedMixRenderer renderer;
    std::vector<float> vocals, accompaniment;
};

TEST_F(MixRendererTest, LosslessMixesEqualTheSumOfTheStemsTheyKeep)
{
    std::vector<float> both(vocals.size());
    for (std::size_t i = 0; i < both.size(); ++i)
        both[i] = 0.5f * vocals[i] + 0.5f * accompaniment[i];
    for (const char* format : {"WAV", "FLAC"}) {
        const fs::path file = temp / (std::string("mix.") + format);
        ASSERT_TRUE(render(mix({0.5f, 0.5f}, format), file)) << format;
        EXPECT_LT(test::errorDb(both, test::decodedStereo(file)), -100) << format;
        const fs::path karaoke = temp / (std::string("karaoke.") + format);
        ASSERT_TRUE(render(mix({0.0f, 1.0f}, format), karaoke));
        EXPECT_LT(test::errorDb(accompaniment, test::decodedStereo(karaoke)), -100)
            << format << ": vocals muted";
    }
    std::string header(12, '\0');
    std::ifstream(temp / "mix.WAV", std::ios::binary).read(header.data(), 12);
    EXPECT_EQ(header.substr(0, 4), "RIFF");
    EXPECT_EQ(header.substr(8, 4), "WAVE");
}

TEST_F(MixRendererTest, TheMetronomeIsMixedInOnItsBeatsSamplesForTheSongsLength)
{
    const mixer::ClickTrack track{
        .beats = {0.5, 1.0, 1.5, 2.0, 2.5}, .downbeats = {0.5}, .meter = 4};
    std::vector<float> clicks(vocals.size());
    mixer::ClickSynth(track, 44100).render(0, clicks.data(), clicks.size() / 2, 2);
    std::vector<float> expected(vocals.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = 0.5f * vocals[i] + 0.5f * clicks[i];
    ports::MixRender wanted = mix({0.5f, 0.0f, 0.5f}, "WAV");
    wanted.click = track;
    const fs::path file = temp / "with-click.wav";
    ASSERT_TRUE(render(wanted, file));
    const auto heard = test::decodedStereo(file);
    EXPECT_EQ(heard.size(), vocals.size()) << "no longer than the longest stem";
    EXPECT_LT(test::errorDb(expected, heard), -100);
}

TEST_F(MixRendererTest, AnMp3MixDecodesAlignedAndWhole)
{
    const fs::path file = temp / "mix.mp3";
    ASSERT_TRUE(render(mix({1.0f, 0.0f}, "MP3"), file));
    const auto heard = test::decodedStereo(file);
    EXPECT_NEAR(static_cast<double>(heard.size()), static_cast<double>(vocals.size()),
                2 * 1152 * 2);
    EXPECT_LT(test::errorDb(vocals, heard), -20) << "lossy, but the same tone in the same place";
}

// How many frames the streams hold once every stem has been decoded to its
// end (they must fit in the one-second rings), or kMoreThanAll if that takes
// longer than half a minute.
constexpr std::size_t kMoreThanAll = 44100;
std::size_t framesOnceDecoded(const adapters::StemStreams& streams)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (streams.framesBeforeEnd(kMoreThanAll) == kMoreThanAll &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return streams.framesBeforeEnd(kMoreThanAll);
}

// The export goes through playback's own mixing: the file holds, within a
// 24-bit sample's rounding, the frames that the player's stem streams and bus
// give for the same stems at the same gains. The stems are shorter than the
// streams' one-second rings, so that every frame is decoded before the bus
// reads: nothing is padded.
TEST(MixRendererAndPlayer, AnExportHoldsTheFramesThePlayerMixes)
{
    test::TempFolder temp;
    ASSERT_TRUE(test::makeTone(temp / "tone.wav", 0.8));
    ASSERT_TRUE(test::makeSweep(temp / "sweep.flac", 0.5));
    const std::vector<fs::path> stems{temp / "tone.wav", temp / "sweep.flac"};
    const std::vector<float> gains{0.7f, 0.4f};
    const fs::path file = temp / "mix.wav";
    ASSERT_TRUE(adapters::EncodedMixRenderer().render({stems, gains, OutputFormat::wav, {}, {}},
                                                      file, [](double) { return true; }));
    const auto exported = test::decodedStereo(file);

    auto streams = adapters::StemStreams::open(stems, {});
    ASSERT_TRUE(streams) << streams.failure();
    const std::size_t frames = framesOnceDecoded(**streams);
    ASSERT_LT(frames, kMoreThanAll) << "every stem decoded to its end";
    mixer::MixBus bus(stems.size(), 2, 1);
    bus.setTargets(gains);
    std::vector<float> played(frames * 2);
    bus.render((*streams)->sources(), played.data(), frames);

    ASSERT_EQ(exported.size(), played.size()) << "as long as the longest stem";
    double worst = 0;
    for (std::size_t i = 0; i < played.size(); ++i)
        worst = std::max(worst, static_cast<double>(std::abs(exported[i] - played[i])));
    EXPECT_LE(worst, 1.0 / (1 << 23)) << "sample for sample";
    EXPECT_GT(*std::max_element(played.begin(), played.end()), 0.1f) << "a mix, not silence";
}

// A count-in through the player's own streams: for the lead-in the stem
// delivers silence and the metronome the beats that lead into the start,
// continued backwards at the first beats' pace; then both go on from the
// start, sample-aligned. Everything fits in the one-second rings, so it is
// all decoded before it is read.
TEST(MixRendererAndPlayer, ACountInLeadsWithTheClickAloneOnItsSamples)
{
    test::TempFolder temp;
    ASSERT_TRUE(test::makeTone(temp / "tone.wav", 0.4));
    auto streams = adapters::StemStreams::open({temp / "tone.wav"}, {});
    ASSERT_TRUE(streams) << streams.failure();
    const mixer::ClickTrack track{.beats = {0.1, 0.3}, .downbeats = {0.1}, .meter = 2};
    (*streams)->setClick(track);
    (*streams)->seek(0.0, 0.4);
    const std::size_t frames = framesOnceDecoded(**streams);
    ASSERT_EQ(frames, static_cast<std::size_t>(0.8 * 44100)) << "the lead-in, then the song";

    const auto sources = (*streams)->sources();
    ASSERT_EQ(sources.size(), 2u) << "the stem, then the metronome";
    std::vector<float> stem(frames * 2), click(frames * 2);
    ASSERT_EQ(sources[0]->read(stem.data(), frames), frames);
    ASSERT_EQ(sources[1]->read(click.data(), frames), frames);
    const auto lead = static_cast<std::size_t>(0.4 * 44100);
    EXPECT_TRUE(std::all_of(stem.begin(), stem.begin() + 2 * lead, [](float v) { return v == 0; }))
        << "the stem waits out the count-in";
    const auto tone = test::decodedStereo(temp / "tone.wav");
    EXPECT_TRUE(std::equal(tone.begin(), tone.end(), stem.begin() + 2 * lead));

    // The clicks of the count-in (0.3 s and 0.1 s before the song, the
    // first of them a bar's first) and of the song itself.
    std::vector<float> expected(frames * 2);
    mixer::ClickSynth(track, 44100)
        .render(-static_cast<long long>(lead), expected.data(), frames, 2);
    EXPECT_EQ(click, expected);
    EXPECT_FLOAT_EQ(click[2 * static_cast<std::size_t>(0.1 * 44100)], 0.8f);
    EXPECT_FLOAT_EQ(click[2 * static_cast<std::size_t>(0.3 * 44100)], 0.5f);
    EXPECT_FLOAT_EQ(click[2 * (lead + static_cast<std::size_t>(0.1 * 44100))], 0.8f);
}

// Zero crossings a second, halved: the frequency of a steady tone.
double frequencyOf(const std::vector<float>& interleaved, std::size_t from, std::size_t frames)
{
    int crossings = 0;
    for (std::size_t n = from + 1; n < from + frames; ++n)
        crossings += (interleaved[2 * (n - 1)] < 0) != (interleaved[2 * n] < 0);
    return crossings / 2.0 / (static_cast<double>(frames) / 44100);
}

TEST_F(MixRendererTest, SpeedAndPitchGoIntoTheFileWhenAskedFor)
{
    auto slower = mix({1, 0}, "WAV"); // the 440 Hz side of the tone, 3 s
    slower.tempo = {0.5, 0};
    ASSERT_TRUE(render(slower, temp / "slow.wav"));
    const auto slow = test::decodedStereo(temp / "slow.wav");
    EXPECT_NEAR(static_cast<double>(slow.size()) / 2 / 44100, 6.0, 0.1)
        << "half speed, twice as long";
    EXPECT_NEAR(frequencyOf(slow, 44100, 44100), 440, 10) << "at the same pitch";

    auto higher = mix({1, 0}, "WAV");
    higher.tempo = {1.0, 12};
    ASSERT_TRUE(render(higher, temp / "high.wav"));
    const auto high = test::decodedStereo(temp / "high.wav");
    EXPECT_NEAR(static_cast<double>(high.size()) / 2 / 44100, 3.0, 0.1) << "as long as before";
    EXPECT_NEAR(frequencyOf(high, 44100, 44100), 880, 10) << "an octave up";
}

TEST_F(MixRendererTest, AStoppedOrFailedMixLeavesNothingAndKeepsWhatWasThere)
{
    const fs::path file = temp / "out/mix.wav";
    test::writeFile(file, "an earlier mix");
    const Result<> stopped = writeThroughTemporary(file, [&](const fs::path& temporary) {
        return renderer.render(mix({1, 1}, "WAV"), temporary,
                               [](double fraction) { return fraction < 0.5; });
    });
    EXPECT_FALSE(stopped);
    EXPECT_EQ(test::readFile(file), "an earlier mix");
    EXPECT_EQ(std::distance(fs::directory_iterator(temp / "out"), fs::directory_iterator()), 1)
        << "no temporary file left";

    auto missing = mix({1, 1}, "WAV");
    missing.stems.push_back(temp / "gone.wav");
    const Result<> failed = writeThroughTemporary(
        file, [&](const fs::path& temporary) { return render(missing, temporary); });
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.failure().find("gone.wav"), std::string::npos) << failed.failure();
    EXPECT_EQ(test::readFile(file), "an earlier mix");
    EXPECT_EQ(std::distance(fs::directory_iterator(temp / "out"), fs::directory_iterator()), 1);

    ASSERT_TRUE(writeThroughTemporary(file, [&](const fs::path& temporary) {
        return render(mix({1, 0}, "WAV"), temporary);
    }));
    EXPECT_LT(test::errorDb(vocals, test::decodedStereo(file)), -100) << "replaced once complete";
}

// /dev/full fails every write as a full disk does: the encoder says so in
// the user's words, whichever format buffers it.
TEST_F(MixRendererTest, AFullDiskIsNamedAsSuch)
{
    for (const char* format : {"WAV", "FLAC", "MP3"}) {
        const Result<> full = render(mix({1, 1}, format), "/dev/full");
        ASSERT_FALSE(full) << format;
        EXPECT_EQ(full.failure(), "/dev/full: 磁盘空间不足（No space left on device）") << format;
    }
}

} // namespace
} // namespace tonfield
