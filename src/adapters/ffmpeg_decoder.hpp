#pragma once

#include "model/result.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct AVFrame;

namespace tonfield::adapters {

// The sample layout a decoder delivers: interleaved, at a fixed rate.
struct PcmFormat {
    int sampleRate = 44100;
    int channels = 2;         // 1 or 2
    bool floatSamples = true; // 32-bit float, else signed 16-bit

    int bytesPerFrame() const { return channels * (floatSamples ? 4 : 2); }
};

// Streams one audio file through FFmpeg: demux, decode and resample on
// demand, so memory stays small however long the file is.
class FfmpegDecoder {
public:
    // Fails with FFmpeg's text after the path for a missing file or one with
    // no decodable audio stream.
    static Result<std::unique_ptr<FfmpegDecoder>> open(const std::filesystem::path& file,
                                                       const PcmFormat& output);
    ~FfmpegDecoder();
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    double durationSeconds() const { return durationSeconds_; }

    // Fills up to maxBytes (whole frames) and returns how many bytes it wrote;
    // 0 only at the end of the file.
    std::size_t read(char* data, std::size_t maxBytes);

    // Moves so that the next read starts at `seconds` (clamped to the file).
    void seek(double seconds);

    // Seconds of audio delivered since the start of the file.
    double positionSeconds() const;

    struct Streams;

private:
    FfmpegDecoder(std::unique_ptr<Streams> streams, const PcmFormat& output);
    bool decodeMore();
    void holdFrame();
    void convertHeldFrame();
    void convert(const uint8_t** input, int inputSamples);
    bool fitResamplerTo(const AVFrame& frame);

    std::unique_ptr<Streams> streams_;
    PcmFormat output_;
    double durationSeconds_ = 0;
    std::string pending_;           // converted bytes not yet read
    long long deliveredFrames_ = 0; // frames handed out since the start of the file
    long long skipFrames_ = 0;      // frames to drop after a seek to land exactly
    bool drained_ = false;
    std::vector<const uint8_t*> inputPlanes_; // where the next stretch of the held frame starts
};

} // namespace tonfield::adapters
