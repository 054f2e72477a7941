// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds mutated audio files to the FFmpeg decoder: whatever the bytes, opening,
// reading, seeking and reading again must end without a crash, a hang or a
// read past a buffer. Sanitizers turn any such fault into a failure.

#include "adapters/ffmpeg_decoder.hpp"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// FFmpeg opens files by name; one scratch file per fuzzing process.
const std::string& scratchFile()
{
    static const std::string path =
        "/tmp/tonfield-decoder-fuzz-" + std::to_string(::getpid()) + ".audio";
    return path;
}

// Reads at most a few seconds, so a long declared duration cannot stall a run.
void readSome(tonfield::adapters::FfmpegDecoder& decoder, std::vector<char>& buffer)
{
    for (int chunk = 0; chunk < 16; ++chunk) {
        if (decoder.read(buffer.data(), buffer.size()) == 0)
            return;
    }
}

} // namespace

// FFmpeg's complaints about each broken input would cost more than the decoding.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::ofstream(scratchFile(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    auto opened = tonfield::adapters::FfmpegDecoder::open(
        scratchFile(), {.sampleRate = 44100, .channels = 2, .floatSamples = true});
    if (!opened)
        return 0;
    auto& decoder = *opened;
    std::vector<char> buffer(8 * 4096);
    readSome(*decoder, buffer);
    decoder->seek(decoder->durationSeconds() / 2);
    readSome(*decoder, buffer);
    decoder->seek(0);
    readSome(*decoder, buffer);
    return 0;
}
