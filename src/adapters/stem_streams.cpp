// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/stem_streams.hpp"

#include "adapters/click_decoder.hpp"
#include "mixer/spsc_ring.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tonfield::adapters {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kChunkFrames = 4096;
constexpr double kAheadSeconds = 1.0; // what the ring holds
constexpr double kReadySeconds = 0.1; // what a seek waits for before sound resumes
constexpr auto kLongestWait = 300ms;  // a stem the disk holds up is padded instead

} // namespace

struct StemStreams::Stream final : mixer::FrameSource {
    Stream(std::unique_ptr<AudioDecoder> opened, const PcmFormat& format, bool metronome = false)
        : decoder(std::move(opened))
        , isMetronome(metronome)
        , ring(static_cast<std::size_t>(kAheadSeconds * format.sampleRate), format.channels)
    {
    }

    // The audio thread's side: first drops what it owes from an earlier
    // shortfall, then takes what is there; the rest of the request becomes
    // silence now and a debt to skip later.
    std::size_t read(float* frames, std::size_t count) override
    {
        // Read before the ring: once ended, everything was written, so a
        // shortfall is the stem's true end and owes nothing.
        const bool complete = ended.load(std::memory_order_acquire);
        owed -= ring.read(nullptr, owed);
        const std::size_t given = owed == 0 ? ring.read(frames, count) : 0;
        if (!complete)
            owed += count - given;
        return given;
    }

    std::unique_ptr<AudioDecoder> decoder;
    const bool isMetronome; // sounds through a lead-in, where the stems are silent
    mixer::SpscRing ring;
    std::atomic<bool> ended{false};
    long long nextFrame = 0;   // the worker's: where the decoder stands
    long long silenceLeft = 0; // the worker's: lead-in frames still to write
    std::size_t owed = 0;      // audio thread only (and seek, while it is idle)
};

Result<std::unique_ptr<StemStreams>>
StemStreams::open(const std::vector<std::filesystem::path>& files, const PcmFormat& format)
{
    std::vector<std::unique_ptr<Stream>> streams;
    for (const auto& file : files) {
        auto decoder = openAudioDecoder(file, format);
        if (!decoder)
            return Result<std::unique_ptr<StemStreams>>::failed(decoder.failure());
        streams.push_back(std::make_unique<Stream>(std::move(*decoder), format));
    }
    return Result<std::unique_ptr<StemStreams>>(
        std::unique_ptr<StemStreams>(new StemStreams(std::move(streams), format)));
}

StemStreams::StemStreams(std::vector<std::unique_ptr<Stream>> streams, const PcmFormat& format)
    : streams_(std::move(streams))
    , format_(format)
{
    for (const auto& stream : streams_)
        durationSeconds_ = std::max(durationSeconds_, stream->decoder->durationSeconds());
    streams_.push_back(std::make_unique<Stream>(
        std::make_unique<ClickDecoder>(mixer::ClickTrack{}, format_, durationSeconds_), format_,
        true));
    for (const auto& stream : streams_)
        sources_.push_back(stream.get());
    worker_ = std::thread([this] { decodeAhead(); });
    waitForAudio();
}

StemStreams::~StemStreams()
{
    stopping_ = true;
    worker_.join();
}

void StemStreams::decodeAhead()
{
    std::vector<float> chunk(kChunkFrames * static_cast<std::size_t>(format_.channels));
    while (!stopping_) {
        bool decoded = false;
        {
            std::lock_guard lock(decoding_);
            for (const auto& stream : streams_) {
                if (stream->ended || stream->ring.writable() < kChunkFrames)
                    continue;
                decodeChunk(*stream, chunk);
                decoded = true;
            }
        }
        if (!decoded)
            std::this_thread::sleep_for(10ms);
    }
}

// One chunk into the stream's ring, never past the loop's end; there the
// decoder goes back to the loop's start.
void StemStreams::decodeChunk(Stream& stream, std::vector<float>& chunk)
{
    const std::size_t bytesPerFrame = static_cast<std::size_t>(format_.bytesPerFrame());
    if (stream.silenceLeft > 0) {
        const auto frames = std::min(kChunkFrames, static_cast<std::size_t>(stream.silenceLeft));
        std::fill_n(chunk.begin(), frames * static_cast<std::size_t>(format_.channels), 0.0f);
        stream.ring.write(chunk.data(), frames);
        stream.nextFrame += static_cast<long long>(frames);
        stream.silenceLeft -= static_cast<long long>(frames);
        return;
    }
    const bool looping = loop_ && stream.nextFrame < loop_->end;
    const std::size_t wanted =
        looping ? std::min<std::size_t>(kChunkFrames,
                                        static_cast<std::size_t>(loop_->end - stream.nextFrame))
                : kChunkFrames;
    std::size_t frames =
        stream.decoder->read(reinterpret_cast<char*>(chunk.data()), wanted * bytesPerFrame) /
        bytesPerFrame;
    if (frames == 0 && !looping) {
        stream.ended.store(true, std::memory_order_release);
        return;
    }
    if (frames == 0) { // a stem shorter than the loop: silence up to its end
        frames = wanted;
        std::fill_n(chunk.begin(), frames * static_cast<std::size_t>(format_.channels), 0.0f);
    }
    stream.ring.write(chunk.data(), frames);
    stream.nextFrame += static_cast<long long>(frames);
    if (looping && stream.nextFrame >= loop_->end) {
        stream.decoder->seek(static_cast<double>(loop_->start) / format_.sampleRate);
        stream.nextFrame = loop_->start;
    }
}

void StemStreams::setLoop(const std::optional<mixer::Loop>& loop)
{
    std::lock_guard lock(decoding_);
    loop_.reset();
    if (loop)
        loop_ = FrameLoop{std::llround(loop->start * format_.sampleRate),
                          std::llround(loop->end * format_.sampleRate)};
}

void StemStreams::setClick(const mixer::ClickTrack& track)
{
    std::lock_guard lock(decoding_);
    streams_.back()->decoder = std::make_unique<ClickDecoder>(track, format_, durationSeconds_);
}

void StemStreams::waitForAudio()
{
    const auto ready = static_cast<std::size_t>(kReadySeconds * format_.sampleRate);
    const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    while (std::chrono::steady_clock::now() < deadline) {
        const bool allReady = std::all_of(streams_.begin(), streams_.end(), [&](const auto& s) {
            return s->ended.load() ||
                   s->ring.readable() >= std::min(ready, s->ring.capacityFrames());
        });
        if (allReady)
            return;
        std::this_thread::sleep_for(1ms);
    }
}

std::size_t StemStreams::framesBeforeEnd(std::size_t wanted) const
{
    std::size_t left = 0;
    for (const auto& stream : streams_) {
        if (!stream->ended.load(std::memory_order_acquire))
            return wanted;
        const std::size_t readable = stream->ring.readable();
        left = std::max(left, readable - std::min(readable, stream->owed));
    }
    return std::min(left, wanted);
}

void StemStreams::seek(double seconds, double leadInSeconds)
{
    {
        std::lock_guard lock(decoding_);
        const long long start = std::llround(seconds * format_.sampleRate);
        const long long leadIn = std::llround(std::max(0.0, leadInSeconds) * format_.sampleRate);
        seekedSeconds_ = 0;
        for (const auto& stream : streams_) {
            if (stream->isMetronome) {
                stream->decoder->seek(static_cast<double>(start - leadIn) / format_.sampleRate);
                stream->silenceLeft = 0;
            } else {
                stream->decoder->seek(seconds);
                stream->silenceLeft = leadIn;
                seekedSeconds_ = std::max(seekedSeconds_, stream->decoder->positionSeconds());
            }
            stream->nextFrame = start - leadIn;
            stream->ring.clear();
            stream->owed = 0;
            stream->ended.store(false, std::memory_order_release);
        }
    }
    waitForAudio();
}

} // namespace tonfield::adapters
