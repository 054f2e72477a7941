// SPDX-License-Identifier: GPL-3.0-or-later

#include "mixer/loop.hpp"
#include "mixer/mix_bus.hpp"
#include "mixer/presets.hpp"
#include "mixer/spsc_ring.hpp"
#include "mixer/strip.hpp"
#include "mixer/waveform.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace tonfield::mixer {
namespace {

TEST(MixerStrips, TheMixingDesksRuleDecidesWhatSounds)
{
    using S = StripSettings;
    struct Case {
        const char* what;
        std::vector<S> strips;
        std::vector<float> gains;
    };
    const float plus6 = std::pow(10.0f, 6.0f / 20.0f);
    const Case cases[] = {
        {"all at 0 dB", {S{}, S{}}, {1, 1}},
        {"a level", {S{.levelDb = 6}, S{.levelDb = -6}}, {plus6, std::pow(10.0f, -6.0f / 20.0f)}},
        {"the slider's bottom is silence", {S{.levelDb = silenceDb}, S{.levelDb = -200}}, {0, 0}},
        {"above +6 dB is +6 dB", {S{.levelDb = 40}}, {plus6}},
        {"mute", {S{.muted = true}, S{}}, {0, 1}},
        {"solo silences the others", {S{.soloed = true}, S{}, S{}}, {1, 0, 0}},
        {"two solos", {S{.soloed = true}, S{}, S{.soloed = true}}, {1, 0, 1}},
        {"mute wins over solo", {S{.muted = true, .soloed = true}, S{}}, {0, 0}},
        {"a soloed strip keeps its level", {S{.levelDb = 6, .soloed = true}, S{}}, {plus6, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<float> gains = audibleGains(c.strips);
        ASSERT_EQ(gains.size(), c.gains.size());
        for (std::size_t i = 0; i < gains.size(); ++i)
            EXPECT_NEAR(gains[i], c.gains[i], 1e-5) << "strip " << i;
    }
    EXPECT_EQ(clampLevel(std::nan("")), 0);
    EXPECT_EQ(clampLevel(-1000), silenceDb);
}

std::vector<Stem> stems(std::initializer_list<const char*> keys)
{
    std::vector<Stem> result;
    for (const char* key : keys)
        result.push_back({.url = std::string("/jobs/x/output/song_") + key + ".wav"});
    return result;
}

TEST(MixerStrips, TheirStoredFormReadsBackAndNothingElseDoes)
{
    const std::vector<StripSettings> strips{
        {.levelDb = -12.5, .muted = true, .soloed = false},
        {.levelDb = 6, .muted = false, .soloed = true},
        {.levelDb = silenceDb, .muted = false, .soloed = false}};
    EXPECT_EQ(decodeStrips(encodeStrips(strips)), strips);
    EXPECT_EQ(decodeStrips("[]"), std::vector<StripSettings>{});
    const auto clamped = decodeStrips(R"([{"levelDb": 99, "muted": false, "soloed": false}])");
    ASSERT_TRUE(clamped);
    EXPECT_EQ(clamped->at(0).levelDb, maxLevelDb);
    for (const char* broken :
         {"", "{}", "[1]", "not json", R"([{"levelDb": "0", "muted": false, "soloed": false}])",
          R"([{"levelDb": 0, "muted": 1, "soloed": false}])",
          R"([{"levelDb": 0, "muted": false}])"})
        EXPECT_FALSE(decodeStrips(broken)) << broken;
}

TEST(MixerPresets, EachPresetSetsTheStripsOfTheStemsItConcerns)
{
    const auto two = stems({"(Vocals)", "(Instrumental)"});
    EXPECT_EQ(presetsFor(two),
              (std::vector{Preset::all, Preset::accompaniment, Preset::vocalsOnly}));
    const auto four = stems({"(Vocals)", "(Drums)", "(Bass)", "(Other)"});
    const auto six = stems({"(Vocals)", "(Drums)", "(Bass)", "(Guitar)", "(Piano)", "(Other)"});
    EXPECT_EQ(presetsFor(four), (std::vector{Preset::all, Preset::accompaniment, Preset::vocalsOnly,
                                             Preset::noDrums, Preset::noBass}));
    EXPECT_EQ(presetsFor(six),
              (std::vector{Preset::all, Preset::accompaniment, Preset::vocalsOnly, Preset::noDrums,
                           Preset::noBass, Preset::noGuitar, Preset::noPiano}));
    EXPECT_EQ(presetLabel(Preset::noGuitar), "去掉吉他");
    EXPECT_EQ(presetLabel(Preset::noPiano), "去掉钢琴");

    auto muted = [](const std::vector<StripSettings>& strips) {
        std::vector<bool> flags;
        for (const auto& strip : strips) {
            EXPECT_EQ(strip.levelDb, 0);
            EXPECT_FALSE(strip.soloed);
            flags.push_back(strip.muted);
        }
        return flags;
    };
    EXPECT_EQ(muted(applyPreset(Preset::all, four)), (std::vector{false, false, false, false}));
    EXPECT_EQ(muted(applyPreset(Preset::noGuitar, six)),
              (std::vector{false, false, false, true, false, false}));
    EXPECT_EQ(muted(applyPreset(Preset::noPiano, six)),
              (std::vector{false, false, false, false, true, false}));
    EXPECT_EQ(muted(applyPreset(Preset::accompaniment, two)), (std::vector{true, false}));
    EXPECT_EQ(muted(applyPreset(Preset::accompaniment, four)),
              (std::vector{true, false, false, false}));
    EXPECT_EQ(muted(applyPreset(Preset::vocalsOnly, six)),
              (std::vector{false, true, true, true, true, true}));
    EXPECT_EQ(muted(applyPreset(Preset::noDrums, six)),
              (std::vector{false, true, false, false, false, false}));
    EXPECT_EQ(muted(applyPreset(Preset::noBass, four)), (std::vector{false, false, true, false}));

    EXPECT_EQ(presetLabel(Preset::accompaniment), "伴奏");
    EXPECT_EQ(presetLabel(Preset::vocalsOnly), "清唱");
    EXPECT_EQ(presetLabel(Preset::noDrums), "去掉鼓");
}

// A stereo source whose frame n holds the value `scale * (n + 1)` on both
// channels, for `length` frames.
class CountingSource final : public FrameSource {
public:
    CountingSource(float scale, std::size_t length)
        : scale_(scale)
        , length_(length)
    {
    }
    std::size_t read(float* frames, std::size_t count) override
    {
        const std::size_t given = std::min(count, length_ - std::min(length_, next_));
        for (std::size_t i = 0; i < given; ++i)
            frames[2 * i] = frames[2 * i + 1] = scale_ * static_cast<float>(next_ + i + 1);
        next_ += count; // the clock moves on by what was asked, delivered or not
        return given;
    }

private:
    float scale_;
    std::size_t length_;
    std::size_t next_ = 0;
};

TEST(MixerBus, StemsStayAlignedAndAShorterOneEndsInSilence)
{
    MixBus bus(2, 2, 64, 100); // blocks smaller than the call: alignment across blocks
    CountingSource first(1.0f, 1000), second(1000.0f, 300);
    FrameSource* sources[] = {&first, &second};
    std::vector<float> out(2 * 500);
    bus.render(sources, out.data(), 500);
    for (std::size_t frame = 0; frame < 500; ++frame) {
        const float expected = static_cast<float>(frame + 1) +
                               (frame < 300 ? 1000.0f * static_cast<float>(frame + 1) : 0);
        ASSERT_EQ(out[2 * frame], expected) << "frame " << frame;
        ASSERT_EQ(out[2 * frame + 1], expected) << "frame " << frame;
    }
}

// A constant stereo source of 1.0.
class Constant final : public FrameSource {
public:
    std::size_t read(float* frames, std::size_t count) override
    {
        std::fill(frames, frames + 2 * count, 1.0f);
        return count;
    }
};

TEST(MixerBus, GainChangesRampWithoutAJump)
{
    const std::size_t ramp = 220; // 5 ms at 44.1 kHz
    MixBus bus(1, 2, ramp);
    Constant one;
    FrameSource* sources[] = {&one};
    std::vector<float> out(2 * 1000);
    bus.render(sources, out.data(), 10);
    EXPECT_EQ(out[0], 1.0f) << "the first start jumps to the target: nothing sounded before";

    bus.setTargets({0.0f}); // mute
    bus.render(sources, out.data(), 1000);
    float largestStep = 0;
    for (std::size_t frame = 1; frame < ramp; ++frame)
        largestStep = std::max(largestStep, std::abs(out[2 * frame] - out[2 * (frame - 1)]));
    EXPECT_LE(largestStep, 1.0f / static_cast<float>(ramp) + 1e-6f) << "a click";
    EXPECT_GT(out[0], 0.99f);
    EXPECT_EQ(out[2 * (ramp - 1)], 0.0f) << "silent once the ramp is over";
    EXPECT_EQ(out[2 * 999], 0.0f);

    // A change in the middle of a ramp turns from wherever the gain is.
    bus.setTargets({1.0f});
    bus.render(sources, out.data(), ramp / 2);
    const float halfway = out[2 * (ramp / 2 - 1)];
    bus.setTargets({0.5f});
    bus.render(sources, out.data(), ramp);
    EXPECT_NEAR(out[0], halfway, 1.0f / static_cast<float>(ramp) + 1e-6f);
    EXPECT_EQ(out[2 * (ramp - 1)], 0.5f);

    // After a seek the gains start at their targets.
    bus.setTargets({0.25f});
    bus.jumpToTargets();
    bus.render(sources, out.data(), 4);
    EXPECT_EQ(out[0], 0.25f);
}

TEST(MixerRing, HoldsWhatWasWrittenInOrderAcrossTheWrap)
{
    SpscRing ring(5, 2);
    EXPECT_EQ(ring.writable(), 5u);
    float frames[2 * 8];
    for (int i = 0; i < 16; ++i)
        frames[i] = static_cast<float>(i);
    EXPECT_EQ(ring.write(frames, 4), 4u);
    float out[2 * 8] = {};
    EXPECT_EQ(ring.read(out, 3), 3u);
    EXPECT_EQ(out[5], 5.0f);
    EXPECT_EQ(ring.write(frames + 8, 8), 4u) << "only what fits";
    EXPECT_EQ(ring.readable(), 5u);
    EXPECT_EQ(ring.writable(), 0u);
    EXPECT_EQ(ring.read(nullptr, 1), 1u) << "dropped unread";
    EXPECT_EQ(ring.read(out, 8), 4u);
    const float expected[] = {8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(out[i], expected[i]);
    EXPECT_EQ(ring.readable(), 0u);
    ring.write(frames, 2);
    ring.clear();
    EXPECT_EQ(ring.readable(), 0u);
    EXPECT_EQ(ring.writable(), 5u);
}

// The decoder and the audio thread at once, each in its own chunk sizes: every
// frame arrives once, whole and in order. The ThreadSanitizer build checks
// that the hand-over is ordered, not merely lucky.
TEST(MixerRing, TwoThreadsHandOverEveryFrameInOrder)
{
    constexpr std::size_t kFrames = 200'000;
    SpscRing ring(64, 2);
    std::thread writer([&] {
        float chunk[2 * 37];
        for (std::size_t next = 0; next < kFrames;) {
            const std::size_t count = std::min<std::size_t>(1 + next % 37, kFrames - next);
            for (std::size_t i = 0; i < count; ++i)
                chunk[2 * i] = chunk[2 * i + 1] = static_cast<float>(next + i);
            const std::size_t taken = ring.write(chunk, count);
            next += taken;
            if (taken == 0)
                std::this_thread::yield();
        }
    });
    std::size_t expected = 0, wrong = 0;
    float out[2 * 53];
    while (expected < kFrames) {
        const std::size_t count = ring.read(out, 1 + expected % 53);
        for (std::size_t i = 0; i < count; ++i, ++expected)
            wrong += out[2 * i] != static_cast<float>(expected) || out[2 * i + 1] != out[2 * i];
        if (count == 0)
            std::this_thread::yield();
    }
    writer.join();
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(ring.readable(), 0u);
}

// Strips change on the main thread while the audio thread renders: every
// block sounds at a gain one of the strips set, never a torn value.
TEST(MixerBus, GainsSetFromAnotherThreadArriveWhole)
{
    MixBus bus(1, 2, 1);
    Constant one;
    FrameSource* sources[] = {&one};
    std::atomic<bool> done{false};
    std::thread strips([&] {
        for (int i = 0; !done.load(); ++i)
            bus.setTargets({i % 2 ? 0.25f : 0.75f});
    });
    std::vector<float> out(2 * 64);
    std::size_t torn = 0;
    for (int block = 0; block < 2000; ++block) {
        bus.render(sources, out.data(), 64);
        for (const float sample : out)
            torn += sample != 0.25f && sample != 0.75f && sample != 1.0f;
    }
    done = true;
    strips.join();
    EXPECT_EQ(torn, 0u);
}

TEST(MixerWaveform, PeaksPerStretchAndACacheThatTrustsNothing)
{
    // 800 stereo frames over 400 stretches: two frames each.
    PeakMeter meter(800, 2);
    std::vector<float> frames(2 * 800, 0.0f);
    frames[2 * 10 + 1] = -0.5f; // stretch 5, right channel, negative
    frames[2 * 799] = 3.0f;     // beyond full scale: counted as 1
    meter.add(frames.data(), 400);
    meter.add(frames.data() + 800, 400);
    const std::vector<float>& peaks = meter.peaks();
    ASSERT_EQ(peaks.size(), PeakMeter::buckets);
    EXPECT_EQ(peaks[5], 0.5f);
    EXPECT_EQ(peaks[399], 1.0f);
    EXPECT_EQ(peaks[4], 0.0f);
    meter.add(frames.data(), 10); // more than declared: into the last stretch, no overrun

    const Overview overview{.peaks = peaks, .seconds = 212.4};
    EXPECT_EQ(decodeOverview(encodeOverview(overview)), overview);
    std::string bytes = encodeOverview(overview);
    std::string olderKind = bytes; // written before overviews had a length
    olderKind.replace(0, 8, "TFPEAKS1");
    for (const std::string& broken :
         {std::string(), bytes.substr(0, bytes.size() - 1), "XXXXXXXX" + bytes.substr(8), olderKind,
          encodeOverview({std::vector<float>(3, 0.5f), 1}),
          encodeOverview({std::vector<float>(400, -1.0f), 1}),
          encodeOverview({std::vector<float>(400, std::nanf("")), 1}),
          encodeOverview({peaks, std::nan("")}), encodeOverview({peaks, -1}),
          encodeOverview({peaks, 1e30})})
        EXPECT_FALSE(decodeOverview(broken)) << broken.size();

    const auto name = peaksCacheName("/a/b.wav", 100, 5);
    EXPECT_EQ(name.size(), 16u + 6u);
    EXPECT_EQ(name, peaksCacheName("/a/b.wav", 100, 5));
    EXPECT_NE(name, peaksCacheName("/a/b.wav", 101, 5)) << "a changed size";
    EXPECT_NE(name, peaksCacheName("/a/b.wav", 100, 6)) << "a changed time";
    EXPECT_NE(name, peaksCacheName("/a/c.wav", 100, 5)) << "another file";
}

} // namespace
} // namespace tonfield::mixer

namespace tonfield::mixer {
namespace {

TEST(MixerLoop, DragsKeysAndThePositionAcrossTheSeam)
{
    EXPECT_EQ(loopBetween(12, 4, 60), (Loop{4, 12})) << "a drag may go either way";
    EXPECT_EQ(loopBetween(-3, 70, 60), (Loop{0, 60})) << "kept within the mix";
    EXPECT_FALSE(loopBetween(5, 5.05, 60)) << "a click is no loop";

    EXPECT_EQ(withStart(Loop{4, 12}, 8, 60), (Loop{8, 12}));
    EXPECT_EQ(withStart(Loop{4, 12}, 20, 60), (Loop{20, 60})) << "past the end: to the mix's end";
    EXPECT_EQ(withStart(std::nullopt, 30, 60), (Loop{30, 60}));
    EXPECT_EQ(withEnd(Loop{4, 12}, 10, 60), (Loop{4, 10}));
    EXPECT_EQ(withEnd(Loop{4, 12}, 2, 60), (Loop{0, 2}))
        << "before the start: from the mix's start";
    EXPECT_FALSE(withEnd(std::nullopt, 0, 60));

    const Loop loop{4, 12};
    EXPECT_DOUBLE_EQ(loopedPosition(6, 3, loop), 9) << "the first pass";
    EXPECT_DOUBLE_EQ(loopedPosition(6, 6, loop), 4) << "back at the start";
    EXPECT_DOUBLE_EQ(loopedPosition(6, 6 + 8 * 3 + 1.5, loop), 5.5) << "three passes later";
    EXPECT_DOUBLE_EQ(loopedPosition(1, 2, loop), 3) << "not yet in the loop";
    EXPECT_DOUBLE_EQ(loopedPosition(20, 5, loop), 25) << "started past it: never loops";
}

} // namespace
} // namespace tonfield::mixer
