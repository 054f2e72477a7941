// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "adapters/audio_decoder.hpp"
#include "mixer/click_track.hpp"
#include "mixer/loop.hpp"
#include "mixer/mix_bus.hpp"

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

namespace tonfield::adapters {

// The stems of one mix, and its metronome, each decoded ahead on a worker
// thread into a ring that the audio output reads without a lock: the thread
// that feeds the sound card never decodes. A stem the worker falls behind on
// is padded with silence and catches up by skipping, so the stems never
// drift apart. The metronome is one more stream after the stems, silent
// until it is given the song's beats.
class StemStreams {
public:
    // Fails with the first file's failure; `format` must be float samples.
    static Result<std::unique_ptr<StemStreams>>
    open(const std::vector<std::filesystem::path>& files, const PcmFormat& format);
    ~StemStreams();
    StemStreams(const StemStreams&) = delete;
    StemStreams& operator=(const StemStreams&) = delete;

    // The longest stem's length.
    double durationSeconds() const { return durationSeconds_; }

    // The readers a MixBus takes, one per stem and then the metronome's, for
    // the audio thread.
    std::span<mixer::FrameSource* const> sources() { return sources_; }

    // Frames that can still be delivered before the longest stem's end, or
    // `wanted` while any stem is still decoding. For the audio thread.
    std::size_t framesBeforeEnd(std::size_t wanted) const;

    // Moves every stem to `seconds` and waits (briefly) until each has audio
    // ready or has ended. With a lead-in, the streams first deliver that
    // long of silence from the stems and of the metronome's beats before
    // `seconds`: a count-in. Only while nothing reads the sources.
    void seek(double seconds, double leadInSeconds = 0);

    // Where the last seek put the stems (the longest stem's clamped position).
    double seekedSeconds() const { return seekedSeconds_; }

    // From the next seek on, every stem goes from the loop's end back to its
    // start, sample-exact, a stem that ends sooner padded with silence to the
    // end: the rings hold the loop's passes back to back. Only while nothing
    // reads the sources, and followed by a seek.
    void setLoop(const std::optional<mixer::Loop>& loop);

    // The beats the metronome clicks on. Only while nothing reads the
    // sources, and followed by a seek.
    void setClick(const mixer::ClickTrack& track);

    struct Stream;

private:
    StemStreams(std::vector<std::unique_ptr<Stream>> streams, const PcmFormat& format);
    void decodeAhead();
    void decodeChunk(Stream& stream, std::vector<float>& chunk);
    void waitForAudio();

    struct FrameLoop {
        long long start, end;
    };
    std::optional<FrameLoop> loop_; // the worker's, changed under decoding_
    std::vector<std::unique_ptr<Stream>> streams_;
    std::vector<mixer::FrameSource*> sources_;
    PcmFormat format_;
    double durationSeconds_ = 0;
    double seekedSeconds_ = 0;
    std::mutex decoding_; // held by the worker while it decodes, and by seek
    std::atomic<bool> stopping_{false};
    std::thread worker_;
};

} // namespace tonfield::adapters
