// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/ffmpeg_decoder.hpp"

#include "adapters/audio_files.hpp"
#include "fakes/temp_folder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <sys/resource.h>
#include <vector>

namespace tonfield::adapters {
namespace {
namespace fs = std::filesystem;

constexpr PcmFormat stereoFloat{.sampleRate = 48000, .channels = 2, .floatSamples = true};

class FfmpegDecoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new test::TempFolder;
        for (const char* extension : {"wav", "flac", "mp3", "ogg", "m4a"})
            ASSERT_TRUE(test::makeTone(*folder / (std::string("tone.") + extension), 3.0));
    }
    static void TearDownTestSuite() { delete folder; }

    static std::unique_ptr<FfmpegDecoder> open(const fs::path& file)
    {
        auto decoder = FfmpegDecoder::open(file, stereoFloat);
        EXPECT_TRUE(decoder) << decoder.failure();
        return decoder ? std::move(*decoder) : nullptr;
    }

    static std::vector<float> readAll(FfmpegDecoder& decoder)
    {
        std::vector<float> samples;
        std::vector<char> buffer(4096 * 8);
        while (std::size_t count = decoder.read(buffer.data(), buffer.size() - 3)) {
            EXPECT_EQ(count % 8, 0u) << "whole frames only";
            const auto* data = reinterpret_cast<const float*>(buffer.data());
            samples.insert(samples.end(), data, data + count / 4);
        }
        return samples;
    }

    static test::TempFolder* folder;
};
test::TempFolder* FfmpegDecoderTest::folder = nullptr;

TEST_F(FfmpegDecoderTest, EveryFormatDecodesToItsFullLength)
{
    for (const char* extension : {"wav", "flac", "mp3", "ogg", "m4a"}) {
        SCOPED_TRACE(extension);
        auto decoder = open(*folder / (std::string("tone.") + extension));
        ASSERT_TRUE(decoder);
        EXPECT_NEAR(decoder->durationSeconds(), 3.0, 0.06);
        const std::vector<float> samples = readAll(*decoder);
        EXPECT_NEAR(samples.size() / 2 / 48000.0, 3.0, 0.06);
        EXPECT_NEAR(decoder->positionSeconds(), samples.size() / 2 / 48000.0, 1e-9);
    }
}

TEST_F(FfmpegDecoderTest, SeekingLandsWhereAsked)
{
    for (const char* extension : {"wav", "flac", "mp3"}) {
        SCOPED_TRACE(extension);
        auto decoder = open(*folder / (std::string("tone.") + extension));
        ASSERT_TRUE(decoder);
        readAll(*decoder);
        decoder->seek(1.25);
        EXPECT_DOUBLE_EQ(decoder->positionSeconds(), 1.25);
        const std::vector<float> rest = readAll(*decoder);
        // One decoded frame (at most 1152 samples at 44.1 kHz for MP3) of slack.
        EXPECT_NEAR(rest.size() / 2 / 48000.0, 1.75, 0.03);
    }

    // For uncompressed audio the samples themselves continue the sine exactly.
    auto decoder = open(*folder / "tone.wav");
    decoder->seek(2.0);
    std::vector<char> buffer(8 * 64);
    ASSERT_EQ(decoder->read(buffer.data(), buffer.size()), buffer.size());
    const auto* frames = reinterpret_cast<const float*>(buffer.data());
    double correlation = 0, energy = 0;
    for (int i = 0; i < 64; ++i) {
        const double expected = std::sin(2 * M_PI * 440 * (2.0 + i / 48000.0));
        correlation += frames[2 * i] * expected;
        energy += expected * expected;
    }
    EXPECT_NEAR(correlation / energy, 0.125, 0.01) << "in phase with the tone at 2 s";

    decoder->seek(99);
    EXPECT_EQ(readAll(*decoder).size(), 0u) << "a seek past the end is clamped to the end";
}

// The lag, in frames, at which `part` best matches `whole` near `expectedAt`.
long bestLag(const std::vector<float>& whole, const std::vector<float>& part, long expectedAt)
{
    long best = 0;
    double bestScore = -1e300;
    for (long lag = -2000; lag <= 2000; ++lag) {
        double score = 0;
        for (std::size_t i = 0; i < part.size(); i += 2)
            score += part[i] * whole[static_cast<std::size_t>(2 * (expectedAt + lag)) + i];
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

// A seek must land on the requested sample, as decoding from the start finds
// it: encoder delay (MP3, AAC) and the container's start time included.
TEST_F(FfmpegDecoderTest, SeeksLandOnTheRequestedSampleInEveryAcceptedFormat)
{
    for (const char* extension : {"wav", "flac", "mp3", "ogg", "m4a", "aac", "aiff", "wma"}) {
        SCOPED_TRACE(extension);
        const fs::path file = *folder / (std::string("sweep.") + extension);
        ASSERT_TRUE(test::makeSweep(file, 3.0));
        auto decoder = open(file);
        ASSERT_TRUE(decoder);
        const std::vector<float> whole = readAll(*decoder);

        // Compare from 50 ms after the seek, past any decoder warm-up.
        decoder->seek(1.5);
        std::vector<char> buffer(8 * 48000 / 5);
        ASSERT_EQ(decoder->read(buffer.data(), buffer.size()), buffer.size());
        const auto* frames = reinterpret_cast<const float*>(buffer.data());
        const std::vector<float> part(frames + 2 * 2400, frames + buffer.size() / 4);
        // ASF stamps packets in whole milliseconds: that is as exact as it gets.
        const long slack = std::string(extension) == "wma" ? 48 : 0;
        EXPECT_LE(std::abs(bestLag(whole, part, 72000 + 2400)), slack);
    }
}

// Two MP3 files joined byte for byte, stereo then mono at another rate, as
// found in the wild: the decoder follows each frame's own layout.
TEST_F(FfmpegDecoderTest, FollowsAStreamWhoseLayoutAndRateChangeMidFile)
{
    const fs::path mono = *folder / "mono.mp3";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i "
                           "'sine=frequency=440:sample_rate=22050:duration=1' -ac 1 '" +
                           mono.string() + "'")
                              .c_str()),
              0);
    std::ifstream first(*folder / "tone.mp3", std::ios::binary), second(mono, std::ios::binary);
    std::ofstream joined(*folder / "joined.mp3", std::ios::binary);
    joined << first.rdbuf() << second.rdbuf();
    joined.close();

    auto decoder = open(*folder / "joined.mp3");
    ASSERT_TRUE(decoder);
    const std::vector<float> samples = readAll(*decoder);
    EXPECT_NEAR(samples.size() / 2 / 48000.0, 4.0, 0.1);
    float loudest = 0;
    for (std::size_t i = samples.size() * 7 / 8; i < samples.size(); ++i)
        loudest = std::max(loudest, std::abs(samples[i]));
    // Mono spreads to both sides at -3 dB.
    EXPECT_NEAR(loudest, 0.125 * std::sqrt(0.5), 0.01) << "the mono part sounds";
}

long long peakResidentKilobytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A stereo 16-bit WAV declaring `rate`, written by hand: no encoder makes
// the rates a hostile file may claim. `metadataClaim`, when not 0, is the
// size a metadata entry before the audio declares, whatever it holds.
void writeWav(const fs::path& file, std::uint32_t rate, std::uint32_t metadataClaim = 0)
{
    const std::uint32_t dataBytes = 40000;
    std::string wav = "RIFF";
    auto put = [&wav](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            wav += static_cast<char>((value >> (8 * i)) & 0xff);
    };
    put(36 + dataBytes, 4);
    wav += "WAVEfmt ";
    put(16, 4);       // format block size
    put(1, 2);        // PCM
    put(2, 2);        // channels
    put(rate, 4);     // frames a second
    put(rate * 4, 4); // bytes a second
    put(4, 2);        // bytes a frame
    put(16, 2);       // bits a sample
    if (metadataClaim != 0) {
        wav += "LIST";
        put(metadataClaim + 12, 4);
        wav += "INFOISFT";
        put(metadataClaim, 4);
        wav += "Lavf60.2";
    }
    wav += "data";
    put(dataBytes, 4);
    wav.append(dataBytes, '\x10');
    test::writeFile(file, wav);
}

// Hostile files that declare a sample rate no music has: resampling one frame
// of 1 Hz takes gigabytes, and merely preparing to resample 268 MHz takes
// minutes. They are refused. A low rate in huge frames decodes in small steps.
// A stretch of garbage in the middle of a file: what cannot be decoded
// becomes silence of its length, so everything after it stays where it
// belongs and the stem stays in step with the others of its mix.
TEST_F(FfmpegDecoderTest, ADamagedStretchKeepsTheRestOnItsTime)
{
    for (const char* extension : {"flac", "mp3", "ogg", "m4a"}) {
        SCOPED_TRACE(extension);
        const fs::path whole = *folder / (std::string("long.") + extension);
        const fs::path damaged = *folder / (std::string("damaged.") + extension);
        ASSERT_TRUE(test::makeTone(whole, 10.0));
        fs::copy_file(whole, damaged, fs::copy_options::overwrite_existing);
        const auto size = static_cast<std::streamoff>(fs::file_size(damaged));
        std::fstream file(damaged, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(size / 2);
        std::uint32_t noise = 12345; // the same garbage every run
        for (std::streamoff i = 0; i < size / 10; ++i) {
            noise = noise * 1664525u + 1013904223u;
            file.put(static_cast<char>(noise >> 24));
        }
        file.close();

        auto intact = open(whole);
        auto broken = open(damaged);
        ASSERT_TRUE(intact && broken);
        const std::vector<float> expected = readAll(*intact);
        const std::vector<float> heard = readAll(*broken);
        EXPECT_NEAR(static_cast<double>(heard.size()) / expected.size(), 1.0, 0.01)
            << "the damage is made up for, not left out";
        // The last second, sample by sample: a shift of a millisecond would
        // turn the tone's difference into a tone of its own.
        const std::size_t second = 2 * 48000;
        ASSERT_GT(heard.size(), second);
        double difference = 0, level = 0;
        for (std::size_t i = expected.size() - second; i < std::min(heard.size(), expected.size());
             ++i) {
            difference += std::pow(heard[i] - expected[i], 2);
            level += std::pow(expected[i], 2);
        }
        EXPECT_LT(difference, level / 100) << "the rest is where it belongs";
    }
}

TEST_F(FfmpegDecoderTest, NoDeclaredRateOrFrameSizeCanExhaustMemoryOrTime)
{
    for (const std::uint32_t rate : {1u, 268435652u}) {
        const fs::path file = *folder / ("rate-" + std::to_string(rate) + ".wav");
        writeWav(file, rate);
        const auto refused = FfmpegDecoder::open(file, stereoFloat);
        EXPECT_FALSE(refused);
        EXPECT_EQ(refused.failure(), file.string() + ": a sample rate of " + std::to_string(rate) +
                                         " Hz is not an audio rate");
    }

    // A metadata entry claiming 1.5 GB: FFmpeg would allocate and zero it all.
    const fs::path claims = *folder / "claims.wav";
    writeWav(claims, 44100, 1500u << 20);
    const long long beforeClaims = peakResidentKilobytes();
    (void)FfmpegDecoder::open(claims, stereoFloat); // opened or refused: the memory is what counts
    EXPECT_LT(peakResidentKilobytes() - beforeClaims, 100 * 1024) << "kilobytes more at the peak";

    // 1 kHz in frames of 1000 s: each frame is 48 million output frames.
    const fs::path huge = *folder / "huge-frames.mkv";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i "
                           "'sine=frequency=100:sample_rate=1000:duration=2000:"
                           "samples_per_frame=1000000' -c:a pcm_s16le '" +
                           huge.string() + "'")
                              .c_str()),
              0);
    const long long before = peakResidentKilobytes();
    auto decoder = open(huge);
    ASSERT_TRUE(decoder);
    std::vector<char> buffer(8 * 48000);
    EXPECT_EQ(decoder->read(buffer.data(), buffer.size()), buffer.size());
    decoder->seek(1000.5); // just inside the second frame
    EXPECT_EQ(decoder->read(buffer.data(), buffer.size()), buffer.size());
    EXPECT_DOUBLE_EQ(decoder->positionSeconds(), 1001.5);
    EXPECT_LT(peakResidentKilobytes() - before, 100 * 1024) << "kilobytes more at the peak";
}

TEST_F(FfmpegDecoderTest, MissingEmptyAndNonAudioFilesFailWithAClearText)
{
    const auto missing = FfmpegDecoder::open(*folder / "missing.wav", stereoFloat);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.failure(), (*folder / "missing.wav").string() +
                                     ": 找不到这个文件或文件夹（No such file or directory）");

    // What is not audio says so in words a listener knows, not FFmpeg's.
    test::writeFile(*folder / "notes.mp3", "these are notes, not audio\n");
    const auto notes = FfmpegDecoder::open(*folder / "notes.mp3", stereoFloat);
    EXPECT_EQ(notes.failure(), (*folder / "notes.mp3").string() + ": 不是可以播放的音频文件");
    test::writeFile(*folder / "empty.wav", "");
    const auto empty = FfmpegDecoder::open(*folder / "empty.wav", stereoFloat);
    EXPECT_EQ(empty.failure(),
              (*folder / "empty.wav").string() + ": 是空文件，不是可以播放的音频文件");
}

} // namespace
} // namespace tonfield::adapters
