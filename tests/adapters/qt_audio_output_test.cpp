// SPDX-License-Identifier: GPL-3.0-or-later
// Real playback through the default output device. The suite runs these under
// a private PulseAudio daemon with a null sink (scripts/with-null-audio.sh),
// and the no-device case with no sound server at all.

#include "adapters/qt_audio_output.hpp"

#include "adapters/audio_files.hpp"
#include "adapters/event_loop.hpp"
#include "adapters/null_sink_monitor.hpp"
#include "fakes/synthetic_song.hpp"
#include "fakes/temp_folder.hpp"
#include "mixer/click_track.hpp"

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fstream>
#include <span>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace tonfield::adapters {
namespace {

using namespace std::chrono_literals;

// Lets the event loop run for a while, so a paused player has every chance
// to move if it were wrong.
void idle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    test::runUntil([&] { return clock.elapsed() >= ms; });
}

// A stereo tone of the given length, opened for playback on the default output.
std::unique_ptr<ports::AudioPlayer> openTone(const test::TempFolder& folder, double seconds)
{
    if (!test::makeTone(folder / "tone.flac", seconds))
        return nullptr;
    auto opened = QtAudioOutput().open(folder / "tone.flac");
    EXPECT_TRUE(opened) << opened.failure();
    return opened ? std::move(*opened) : nullptr;
}

TEST(QtAudioOutput, PositionAdvancesWhilePlayingHoldsWhilePausedAndPlayingEnds)
{
    test::TempFolder folder;
    const auto opened = openTone(folder, 1.5);
    ASSERT_TRUE(opened);
    ports::AudioPlayer& player = *opened;
    EXPECT_NEAR(player.durationSeconds(), 1.5, 0.02);
    EXPECT_FALSE(player.isPlaying());

    player.play();
    EXPECT_TRUE(player.isPlaying());
    ASSERT_TRUE(test::runUntil([&] { return player.currentTimeSeconds() > 0.3; }));

    player.pause();
    EXPECT_FALSE(player.isPlaying());
    const double paused = player.currentTimeSeconds();
    idle(300);
    EXPECT_DOUBLE_EQ(player.currentTimeSeconds(), paused);

    player.setCurrentTimeSeconds(0.9);
    EXPECT_NEAR(player.currentTimeSeconds(), 0.9, 1e-6) << "seeking while paused";
    EXPECT_FALSE(player.isPlaying());
    player.play();
    ASSERT_TRUE(test::runUntil([&] { return !player.isPlaying(); }));
    EXPECT_NEAR(player.currentTimeSeconds(), 1.5, 0.05);

    player.play(); // a file played to its end starts over, and sounds again
    EXPECT_TRUE(player.isPlaying());
    EXPECT_LT(player.currentTimeSeconds(), 0.5);
    ASSERT_TRUE(test::runUntil([&] { return player.currentTimeSeconds() > 0.3; }));
    EXPECT_TRUE(player.isPlaying());
}

// A slider drag makes dozens of seeks; replays restart a finished file. Neither
// may ever leave the output silent while the player says it plays.
TEST(QtAudioOutput, KeepsSoundingAfterManySeeksAndReplays)
{
    test::TempFolder folder;
    const auto opened = openTone(folder, 3);
    ASSERT_TRUE(opened);
    ports::AudioPlayer& player = *opened;
    test::NullSinkMonitor monitor;
    ASSERT_TRUE(monitor.started());

    player.play();
    for (int seek = 0; seek < 100; ++seek) {
        player.setCurrentTimeSeconds(0.2 + (seek % 20) * 0.1);
        QCoreApplication::processEvents();
    }
    for (int replay = 0; replay < 20; ++replay) {
        player.setCurrentTimeSeconds(2.95);
        ASSERT_TRUE(test::runUntil([&] { return !player.isPlaying(); })) << replay;
        player.play();
    }

    monitor.loudSamplesSinceLastCall();
    player.setCurrentTimeSeconds(0.5);
    long long heard = 0;
    EXPECT_TRUE(test::runUntil([&] {
        heard += monitor.loudSamplesSinceLastCall();
        return heard > 44100 / 2 && player.currentTimeSeconds() > 1.0;
    })) << "heard "
        << heard << " samples, position " << player.currentTimeSeconds();
    EXPECT_TRUE(player.isPlaying());
}

// Records `seconds` of what the sink receives from `settleSeconds` on (the
// sink's buffer holds audio mixed before a change, and whatever was recorded
// before is left out).
std::vector<std::int16_t> recordFor(test::NullSinkMonitor& monitor, double settleSeconds,
                                    double seconds)
{
    const auto from = std::chrono::steady_clock::now() +
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          std::chrono::duration<double>(settleSeconds));
    EXPECT_TRUE(test::runUntil([&] { return monitor.skipUntil(from); }));
    std::vector<std::int16_t> heard;
    EXPECT_TRUE(test::runUntil([&] {
        const auto more = monitor.samplesSinceLastCall();
        heard.insert(heard.end(), more.begin(), more.end());
        return heard.size() >= static_cast<std::size_t>(seconds * 44100);
    }));
    return heard;
}

// The root mean square of what reached the sink over `seconds` of playback
// from `settleSeconds` on.
double heardLevel(test::NullSinkMonitor& monitor, double settleSeconds, double seconds)
{
    const auto heard = recordFor(monitor, settleSeconds, seconds);
    double sum = 0;
    for (const std::int16_t sample : heard)
        sum += static_cast<double>(sample) * sample;
    return std::sqrt(sum / static_cast<double>(heard.size())) / 32768.0;
}

// Two copies of one sweep, the second at gain -1: only if every sample of
// one meets the same sample of the other do they cancel to silence, before
// and after many seeks. Levels are heard as amplitudes, and a shorter stem
// ends in silence while the mix plays on.
TEST(QtAudioOutput, AMixSoundsItsStemsInSyncAtTheirGains)
{
    test::TempFolder folder;
    ASSERT_TRUE(test::makeSweep(folder / "sweep.flac", 6.0));
    ASSERT_TRUE(test::makeTone(folder / "short.wav", 1.0));
    auto opened = QtAudioOutput().openMix({folder / "sweep.flac", folder / "sweep.flac"});
    ASSERT_TRUE(opened) << opened.failure();
    ports::MixPlayer& mix = **opened;
    test::NullSinkMonitor monitor;
    ASSERT_TRUE(monitor.started());

    mix.setGains({1.0f, 0.0f});
    mix.play();
    const double one = heardLevel(monitor, 0.3, 0.5);
    EXPECT_GT(one, 0.05) << "the sweep is heard";
    mix.setGains({1.0f, -1.0f});
    EXPECT_LT(heardLevel(monitor, 0.7, 0.5), one / 100) << "the copies are sample-aligned";
    for (int seek = 0; seek < 50; ++seek) {
        mix.setCurrentTimeSeconds(0.1 * seek);
        QCoreApplication::processEvents();
    }
    mix.setCurrentTimeSeconds(0.5);
    EXPECT_LT(heardLevel(monitor, 0.3, 0.5), one / 100) << "still aligned after 50 seeks";
    mix.setGains({0.5f, 0.0f});
    EXPECT_NEAR(heardLevel(monitor, 0.7, 0.5) / one, 0.5, 0.1) << "half the gain, half the level";

    auto uneven = QtAudioOutput().openMix({folder / "short.wav", folder / "sweep.flac"});
    ASSERT_TRUE(uneven) << uneven.failure();
    EXPECT_NEAR((*uneven)->durationSeconds(), 6.0, 0.05) << "the longest stem sets the length";
    (*uneven)->setCurrentTimeSeconds(5.0);
    (*uneven)->play();
    ASSERT_TRUE(test::runUntil([&] { return !(*uneven)->isPlaying(); }));
    EXPECT_NEAR((*uneven)->currentTimeSeconds(), 6.0, 0.05);

    const auto missing = QtAudioOutput().openMix({folder / "sweep.flac", folder / "none.wav"});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.failure().rfind((folder / "none.wav").string() + ": ", 0), 0u);
}

// A 210 Hz tone repeats exactly every 0.5 s: looped over half a second up to
// the file's end, it must reach the sink as one unbroken sine. A gap, a dropped or a repeated
// sample at the seam shows as a jump in the second difference, which for
// the sine itself stays below a hundredth of its amplitude.
TEST(QtAudioOutput, ALoopRepeatsWithoutAGapOrAClickAtItsSeam)
{
    test::TempFolder folder;
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i "
                           "'sine=frequency=210:sample_rate=44100:duration=0.75' '" +
                           (folder / "tone.wav").string() + "'")
                              .c_str()),
              0);
    ASSERT_TRUE(test::makeTone(folder / "short.wav", 0.5));
    // The second stem ends inside the loop and is muted: its padding is silence.
    auto opened = QtAudioOutput().openMix({folder / "tone.wav", folder / "short.wav"});
    ASSERT_TRUE(opened) << opened.failure();
    ports::MixPlayer& mix = **opened;
    test::NullSinkMonitor monitor;
    ASSERT_TRUE(monitor.started());
    mix.setGains({1.0f, 0.0f});
    mix.setCurrentTimeSeconds(0.1);
    mix.setLoop(mixer::Loop{0.25, 0.75});
    EXPECT_NEAR(mix.currentTimeSeconds(), 0.25, 0.01) << "outside the loop: to its start";
    mix.play();

    std::vector<std::int16_t> heard;
    auto collect = [&](double seconds) {
        heard.clear();
        return test::runUntil([&] {
            const auto more = monitor.samplesSinceLastCall();
            heard.insert(heard.end(), more.begin(), more.end());
            return heard.size() >= static_cast<std::size_t>(seconds * 44100);
        });
    };
    ASSERT_TRUE(collect(0.4)); // what the sink held before
    ASSERT_TRUE(collect(2.0)); // four passes through the seam
    double peak = 0, jump = 0;
    for (std::size_t i = 2; i < heard.size(); ++i) {
        const double x0 = heard[i] / 32768.0, x1 = heard[i - 1] / 32768.0,
                     x2 = heard[i - 2] / 32768.0;
        peak = std::max(peak, std::abs(x0));
        jump = std::max(jump, std::abs(x0 - 2 * x1 + x2));
    }
    EXPECT_GT(peak, 0.05) << "the tone is heard";
    EXPECT_LT(jump, 0.01 * peak) << "no discontinuity anywhere, the seams included";
    const double position = mix.currentTimeSeconds();
    EXPECT_GE(position, 0.25);
    EXPECT_LT(position, 0.75) << "the position stays within the loop";

    mix.setLoop(std::nullopt);
    ASSERT_TRUE(test::runUntil([&] { return !mix.isPlaying(); })) << "without it, the mix ends";
}

// A 440 Hz sine of the given length, made by FFmpeg.
std::filesystem::path makeA440(const test::TempFolder& folder, double seconds)
{
    const auto file = folder / "a440.wav";
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i "
                                "'sine=frequency=440:sample_rate=44100:duration=" +
                                std::to_string(seconds) + "' '" + file.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return file;
}

// Everything the sink received while `mix` played to its end, and what the
// sink still held after it.
std::vector<std::int16_t> recordToTheEnd(test::NullSinkMonitor& monitor, ports::MixPlayer& mix)
{
    monitor.samplesSinceLastCall();
    std::vector<std::int16_t> heard;
    auto record = [&] {
        const auto more = monitor.samplesSinceLastCall();
        heard.insert(heard.end(), more.begin(), more.end());
    };
    mix.play();
    EXPECT_TRUE(test::runUntil([&] {
        record();
        return !mix.isPlaying();
    }));
    test::runUntil(
        [&] {
            record();
            return false;
        },
        300);
    return heard;
}

// The sound from its first loud sample to its last.
std::span<const std::int16_t> sounding(const std::vector<std::int16_t>& heard)
{
    auto isLoud = [](std::int16_t sample) { return std::abs(sample) > 300; };
    const auto first = std::find_if(heard.begin(), heard.end(), isLoud);
    const auto last = std::find_if(heard.rbegin(), heard.rend(), isLoud).base();
    if (first >= last)
        return {};
    return {&*first, static_cast<std::size_t>(last - first)};
}

// The longest run of near-silent samples: a sine crosses zero, but never
// stays near it for long (Rubber Band's start may, for a few milliseconds);
// an underrun leaves tens of them.
double longestSilenceSeconds(std::span<const std::int16_t> sound)
{
    std::size_t run = 0, longest = 0;
    for (const std::int16_t sample : sound) {
        run = std::abs(sample) > 300 ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return static_cast<double>(longest) / 44100;
}

// Two busy loops that keep every core of a two-core machine occupied, for as
// long as they live.
class CpuHogs {
public:
    CpuHogs()
    {
        for (auto& hog : hogs_)
            hog.start("sh", {"-c", "while :; do :; done"});
    }
    ~CpuHogs()
    {
        for (auto& hog : hogs_) {
            hog.kill();
            hog.waitForFinished();
        }
    }
    CpuHogs(const CpuHogs&) = delete;
    CpuHogs& operator=(const CpuHogs&) = delete;

private:
    QProcess hogs_[2];
};

// Rubber Band on the mix: an octave up doubles the tone's frequency at the
// same speed; half speed keeps the pitch.
TEST(QtAudioOutput, SpeedAndPitchChangeIndependently)
{
    test::TempFolder folder;
    const auto a440 = makeA440(folder, 2);
    test::NullSinkMonitor monitor;
    ASSERT_TRUE(monitor.started());
    auto frequency = [](std::span<const std::int16_t> sound) {
        int crossings = 0;
        for (std::size_t i = 1; i < sound.size(); ++i)
            crossings += (sound[i - 1] < 0) != (sound[i] < 0);
        return crossings / 2.0 / (static_cast<double>(sound.size()) / 44100);
    };

    auto octave = QtAudioOutput().openMix({a440});
    ASSERT_TRUE(octave) << octave.failure();
    (*octave)->setTempo({1.0, 12});
    const auto high = recordToTheEnd(monitor, **octave);
    const auto highSound = sounding(high);
    ASSERT_GT(highSound.size(), 44100u);
    EXPECT_NEAR(frequency(highSound.subspan(22050, 22050)), 880, 10);

    auto slow = QtAudioOutput().openMix({a440});
    ASSERT_TRUE(slow);
    (*slow)->setTempo({0.5, 0});
    const auto low = recordToTheEnd(monitor, **slow);
    const auto lowSound = sounding(low);
    ASSERT_GT(lowSound.size(), 2 * 44100u);
    EXPECT_NEAR(frequency(lowSound.subspan(44100, 22050)), 440, 10) << "the pitch kept";
    EXPECT_NEAR((*slow)->currentTimeSeconds(), 2.0, 0.05);
}

// Two busy processes on a two-core machine must not make the sound drop
// out: an underrun inserts silence into what the sink receives, as a gap
// within the tone and as extra length.
TEST(QtAudioOutput, SoundsWithoutAGapOnABusyMachine)
{
    test::TempFolder folder;
    const auto a440 = makeA440(folder, 2);
    test::NullSinkMonitor monitor;
    ASSERT_TRUE(monitor.started());
    CpuHogs hogs;

    for (const double speed : {1.0, 0.5}) {
        auto mix = QtAudioOutput().openMix({a440});
        ASSERT_TRUE(mix) << mix.failure();
        (*mix)->setTempo({speed, 0});
        const auto heard = recordToTheEnd(monitor, **mix);
        const auto sound = sounding(heard);
        EXPECT_LT(longestSilenceSeconds(sound), 0.01) << "at speed " << speed;
        EXPECT_NEAR(static_cast<double>(sound.size()) / 44100, 2.0 / speed, 0.05)
            << "at speed " << speed;
    }
}

// Holds the private sound server still for a while, as a machine too busy
// to run it would; afterwards it catches up at once with what it missed.
void holdSoundServer(std::chrono::milliseconds howLong)
{
    std::string pid;
    std::getline(std::ifstream(std::string(std::getenv("PULSE_RUNTIME_PATH")) + "/pid"), pid);
    ASSERT_FALSE(pid.empty()) << "run under scripts/with-null-audio.sh";
    ASSERT_EQ(::kill(std::stoi(pid), SIGSTOP), 0);
    std::this_thread::sleep_for(howLong);
    ASSERT_EQ(::kill(std::stoi(pid), SIGCONT), 0);
}

// Seconds of the recording that sounded: silences of 10 ms or more are left
// out however many there are (a busy machine may add its own), the zero
// crossings of a tone are not.
double soundingSeconds(std::span<const std::int16_t> sound)
{
    constexpr std::size_t kGap = 441;
    std::size_t silent = 0, run = 0;
    for (const std::int16_t sample : sound) {
        if (std::abs(sample) > 300) {
            silent += run >= kGap ? run : 0;
            run = 0;
        } else {
            ++run;
        }
    }
    silent += run >= kGap ? run : 0;
    return static_cast<double>(sound.size() - silent) / 44100;
}

// Plays a 5 s tone, holds the sound server for each of holds in turn once
// a second has sounded after the previous one, and records to the end.
struct HeldPlayback {
    std::vector<std::int16_t> heard;
    std::vector<std::size_t> holdStarts;
    double endSeconds = 0;

    // The second of the recording that followed the hold.
    std::span<const std::int16_t> afterHold(std::size_t hold) const
    {
        return std::span(heard).subspan(holdStarts.at(hold), 44100);
    }
};

HeldPlayback playWithHolds(std::initializer_list<std::chrono::milliseconds> holds)
{
    test::TempFolder folder;
    const auto a440 = makeA440(folder, 5);
    test::NullSinkMonitor monitor;
    EXPECT_TRUE(monitor.started());
    auto mix = QtAudioOutput().openMix({a440});
    EXPECT_TRUE(mix) << mix.failure();
    HeldPlayback played;
    if (!mix)
        return played;
    auto record = [&](double seconds) {
        const std::size_t wanted = played.heard.size() + static_cast<std::size_t>(seconds * 44100);
        return test::runUntil([&] {
            const auto more = monitor.samplesSinceLastCall();
            played.heard.insert(played.heard.end(), more.begin(), more.end());
            return played.heard.size() >= wanted;
        });
    };
    monitor.samplesSinceLastCall();
    (*mix)->play();
    EXPECT_TRUE(record(1.0));
    for (const auto hold : holds) {
        holdSoundServer(hold);
        played.holdStarts.push_back(played.heard.size());
        EXPECT_TRUE(record(1.0));
    }
    EXPECT_TRUE(test::runUntil([&] {
        record(0);
        return !(*mix)->isPlaying();
    }));
    record(0.3); // what the sink still held
    played.endSeconds = (*mix)->currentTimeSeconds();
    return played;
}

// A hold-up longer than the sink's buffer drops the sound out; the mix goes
// on where the dropout stopped it: nothing is skipped or heard twice, and
// the position counts what was played.
TEST(QtAudioOutput, ADropoutSkipsNothing)
{
    const auto played = playWithHolds({600ms});
    ASSERT_EQ(played.holdStarts.size(), 1u);
    EXPECT_GT(longestSilenceSeconds(played.afterHold(0)), 0.1)
        << "a hold-up of 600 ms outlasts the buffer";
    EXPECT_NEAR(soundingSeconds(sounding(played.heard)), 5.0, 0.05)
        << "every second of the tone heard once";
    EXPECT_NEAR(played.endSeconds, 5.0, 0.05);
}

// After a dropout the buffer grows: a second hold-up, longer than the first
// buffer lasts and shorter than the grown one, no longer drops the sound.
TEST(QtAudioOutput, TheBufferGrowsAfterADropout)
{
    const auto played = playWithHolds({600ms, 300ms});
    ASSERT_EQ(played.holdStarts.size(), 2u);
    EXPECT_LT(longestSilenceSeconds(played.afterHold(1)), 0.01)
        << "the grown buffer outlasts a hold-up of 300 ms";
}

// Beats every half second from 0.25 s, in 4/4 from the first.
mixer::ClickTrack steadyBeats(double seconds)
{
    mixer::ClickTrack track{.beats = {}, .downbeats = {}, .meter = 4};
    for (double beat = 0.25; beat < seconds; beat += 0.5)
        track.beats.push_back(beat);
    for (std::size_t i = 0; i < track.beats.size(); i += 4)
        track.downbeats.push_back(track.beats[i]);
    return track;
}

// Where each click (or tone) begins in a recording: the first sample above
// about -30 dBFS after at least 0.1 s below it.
std::vector<std::size_t> clickOnsets(std::span<const std::int16_t> heard)
{
    std::vector<std::size_t> onsets;
    std::size_t quiet = 0;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        if (std::abs(heard[i]) > 1000) {
            if (quiet >= 4410)
                onsets.push_back(i);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return onsets;
}

// The metronome is one more stem. A stem holding the very same clicks meets
// it sample for sample, so that at gain -1 the two cancel, at normal speed
// and slowed down: wherever a beat's sample lands in what is heard, its
// click lands with it. At normal speed the clicks reach the sink exactly as
// far apart as their beats; slowed down, the stretcher moves every
// transient, the stems' as much as the click's, by up to a few
// milliseconds onto its own grid, so there the pace is checked over ten
// beats: the click neither drifts nor lags.
TEST(QtAudioOutput, TheMetronomeClicksOnItsBeatsSamplesAtAnySpeed)
{
    test::TempFolder folder;
    const mixer::ClickTrack track = steadyBeats(20);
    std::vector<float> clicks(20 * 44100 * 2);
    mixer::ClickSynth(track, 44100).render(0, clicks.data(), clicks.size() / 2, 2);
    test::writeWav(folder / "clicks.wav", clicks, 2); // in stereo, as the metronome sounds
    auto opened = QtAudioOutput().openMix({folder / "clicks.wav"});
    ASSERT_TRUE(opened) << opened.failure();
    ports::MixPlayer& mix = **opened;
    test::NullSinkMonitor monitor;
    ASSERT_TRUE(monitor.started());

    mix.setClick(track);
    mix.setGains({0.0f, 1.0f});
    mix.play();
    const double alone = heardLevel(monitor, 0.3, 1.0);
    EXPECT_GT(alone, 0.01) << "the metronome is heard";
    mix.setGains({1.0f, -1.0f});
    EXPECT_LT(heardLevel(monitor, 0.7, 1.0), alone / 100) << "it meets the stem's samples";
    mix.setTempo({0.7, 0});
    mix.setCurrentTimeSeconds(1.0);
    EXPECT_LT(heardLevel(monitor, 0.7, 1.0), alone / 100) << "also at 70 %";

    mix.setGains({0.0f, 1.0f});
    mix.setTempo({1.0, 0});
    mix.setCurrentTimeSeconds(2.0);
    const auto steady = clickOnsets(recordFor(monitor, 0.7, 4.0));
    ASSERT_GE(steady.size(), 6u);
    for (std::size_t i = 1; i < steady.size(); ++i)
        EXPECT_NEAR(static_cast<double>(steady[i] - steady[i - 1]), 0.5 * 44100, 44.1)
            << "click " << i;

    mix.setTempo({0.7, 0});
    mix.setCurrentTimeSeconds(2.0);
    const auto slowed = clickOnsets(recordFor(monitor, 0.7, 8.0));
    ASSERT_GE(slowed.size(), 11u);
    const double pace = static_cast<double>(slowed[10] - slowed[0]) / 10;
    EXPECT_NEAR(pace, 0.5 / 0.7 * 44100, 44.1) << "a beat's length at 70 %";
}

// From a stop, the metronome counts in alone for one bar, in time with the
// beats that lead to the position, and the stems start on their own sample
// after it; the position holds meanwhile. From a pause it plays on at once.
TEST(QtAudioOutput, ACountInClicksOneBarBeforeTheStemsStart)
{
    test::TempFolder folder;
    const auto a440 = makeA440(folder, 3);
    auto opened = QtAudioOutput().openMix({a440});
    ASSERT_TRUE(opened) << opened.failure();
    ports::MixPlayer& mix = **opened;
    test::NullSinkMonitor monitor;
    ASSERT_TRUE(monitor.started());
    mix.setClick(steadyBeats(3)); // beats at 0.25 s, 0.75 s, ...
    mix.setGains({1.0f, 1.0f});

    monitor.samplesSinceLastCall();
    mix.playCountingIn();
    std::vector<std::int16_t> heard;
    double heldAt = -1;
    ASSERT_TRUE(test::runUntil([&] {
        const auto more = monitor.samplesSinceLastCall();
        heard.insert(heard.end(), more.begin(), more.end());
        if (heldAt < 0 && heard.size() >= 44100)
            heldAt = mix.currentTimeSeconds(); // a second into the two-second bar
        return heard.size() >= static_cast<std::size_t>(3.0 * 44100);
    }));
    EXPECT_EQ(heldAt, 0.0) << "the position holds through the count-in";
    const auto onsets = clickOnsets(heard);
    ASSERT_EQ(onsets.size(), 5u) << "four clicks, then the tone";
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_NEAR(static_cast<double>(onsets[i] - onsets[i - 1]), 0.5 * 44100, 44.1);
    EXPECT_NEAR(static_cast<double>(onsets[4] - onsets[3]), 0.25 * 44100, 44.1)
        << "the song's first beat is a quarter second in";
    auto peak = [&](std::size_t onset) {
        return *std::max_element(heard.begin() + static_cast<long>(onset),
                                 heard.begin() + static_cast<long>(onset) + 400);
    };
    EXPECT_GT(peak(onsets[0]), peak(onsets[1]) * 1.3) << "the bar's first click is accented";

    mix.pause();
    const double paused = mix.currentTimeSeconds();
    EXPECT_GT(paused, 0.5);
    mix.playCountingIn();
    ASSERT_TRUE(test::runUntil([&] { return mix.currentTimeSeconds() > paused + 0.2; }));
    EXPECT_LT(mix.currentTimeSeconds(), paused + 1.0) << "a pause resumes without a count-in";
}

TEST(QtAudioOutput, FilesThatAreNotAudioFailAtOnce)
{
    test::TempFolder folder;
    test::writeFile(folder / "notes.wav", "not audio");
    QtAudioOutput output;
    auto notAudio = output.open(folder / "notes.wav");
    EXPECT_FALSE(notAudio);
    EXPECT_EQ(notAudio.failure().rfind((folder / "notes.wav").string() + ": ", 0), 0u);
    auto missing = output.open(folder / "gone.wav");
    EXPECT_EQ(missing.failure(), (folder / "gone.wav").string() +
                                     ": 找不到这个文件或文件夹（No such file or directory）");
    ASSERT_EQ(::mkfifo((folder / "pipe.wav").c_str(), 0600), 0);
    auto pipe = output.open(folder / "pipe.wav"); // would block for ever if opened as a file
    EXPECT_EQ(pipe.failure(), (folder / "pipe.wav").string() + ": Not a regular file");
}

TEST(QtAudioOutputWithoutDevice, RefusesRatherThanPlaySilence)
{
    test::TempFolder folder;
    ASSERT_TRUE(test::makeTone(folder / "tone.wav", 0.5));
    QtAudioOutput output;
    auto opened = output.open(folder / "tone.wav");
    EXPECT_FALSE(opened);
    EXPECT_EQ(opened.failure(), "这台电脑没有可用的音频输出设备");
}

} // namespace
} // namespace tonfield::adapters
