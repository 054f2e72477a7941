// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "adapters/audio_decoder.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AVFrame;

namespace tonfield::adapters {

// Streams one audio file through FFmpeg: demux, decode and resample on
// demand, so memory stays small however long the file is.
class FfmpegDecoder final : public AudioDecoder {
public:
    // Fails with FFmpeg's text after the path for a missing file or one with
    // no decodable audio stream.
    static Result<std::unique_ptr<FfmpegDecoder>> open(const std::filesystem::path& file,
                                                       const PcmFormat& output);
    ~FfmpegDecoder() override;
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    double durationSeconds() const override { return durationSeconds_; }
    std::size_t read(char* data, std::size_t maxBytes) override;
    void seek(double seconds) override;
    double positionSeconds() const override;

    struct Streams;

private:
    FfmpegDecoder(std::unique_ptr<Streams> streams, const PcmFormat& output);
    bool decodeMore();
    void holdFrame();
    void convertHeldFrame();
    void convert(const uint8_t** input, int inputSamples);
    void keepOnTimeline(double frameSeconds);
    std::optional<double> secondsByPosition() const;
    bool fitResamplerTo(const AVFrame& frame);

    std::unique_ptr<Streams> streams_;
    PcmFormat output_;
    double durationSeconds_ = 0;
    std::string pending_;           // converted bytes not yet read
    long long deliveredFrames_ = 0; // frames handed out since the start of the file
    long long skipFrames_ = 0;      // frames to drop after a seek to land exactly
    long long silenceFrames_ = 0;   // frames of silence owed for a stretch that did not decode
    double timelineSeconds_ = 0;    // where the next sample taken in belongs in the file
    bool inputEnded_ = false;       // every packet has gone to the decoder
    bool drained_ = false;
    std::vector<const uint8_t*> inputPlanes_; // where the next stretch of the held frame starts
};

} // namespace tonfield::adapters
