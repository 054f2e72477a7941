// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/ffmpeg_decoder.hpp"

#include "model/failure_text.hpp"
#include "model/regular_file.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace tonfield::adapters {

struct FfmpegDecoder::Streams {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    // What the resampler was built for; a stream may change it mid-file.
    AVChannelLayout resamplerLayout{};
    int resamplerRate = 0;
    int resamplerFormat = -1;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int frameOffset = 0; // samples of `frame` already converted; the frame is held until all are
    bool frameHeld = false;
    int stream = -1;
    double timeBase = 0;    // seconds per stream timestamp unit
    int64_t startStamp = 0; // the first decoded frame's timestamp: position 0
    bool startKnown = false;
    std::optional<double> seekTarget; // seconds; set until the first frame after a seek
    // The last frame that decoded, for the length of a damaged stretch whose
    // timestamps the demuxer made up (an MP3's are counted, not read).
    int64_t lastGoodPosition = -1; // in the file, in bytes
    double lastGoodSeconds = 0;
    bool failedSinceGood = false;
    int64_t bitRate = 0; // bits per second, as declared
    bool countedTimestamps = false;

    ~Streams()
    {
        swr_free(&resampler);
        av_channel_layout_uninit(&resamplerLayout);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        av_packet_free(&packet);
        av_frame_free(&frame);
    }
};

namespace {

// Outside these no stream is music. Resampling from below would turn each
// sample into thousands; from above, building the filter alone takes minutes.
constexpr int kLowestSampleRate = 1000;
constexpr int kHighestSampleRate = 768000;

bool isAudioRate(int rate)
{
    return rate >= kLowestSampleRate && rate <= kHighestSampleRate;
}

// FFmpeg allocates what a file's headers declare (a metadata chunk may claim
// gigabytes). No block an audio file honestly needs, cover art included,
// comes near this; larger requests fail as out of memory.
constexpr std::size_t kLargestAllocation = 256u << 20;

std::string ffmpegText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The frame's channel layout, with a default order where the file gives none.
AVChannelLayout layoutOf(const AVFrame& frame)
{
    AVChannelLayout layout{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame.ch_layout.nb_channels <= 0)
        av_channel_layout_default(&layout, std::max(frame.ch_layout.nb_channels, 1));
    else
        av_channel_layout_copy(&layout, &frame.ch_layout);
    return layout;
}

constexpr const char* kNotAudio = "不是可以播放的音频文件";

// FFmpeg's answers that mean the bytes are not audio it knows, rather than
// that the file could not be read.
bool isNotAudio(int code)
{
    return code == AVERROR_INVALIDDATA || code == AVERROR_STREAM_NOT_FOUND ||
           code == AVERROR_DECODER_NOT_FOUND || code == AVERROR(EINVAL);
}

// Timestamps closer than this to where the decoded samples reach are taken
// as agreeing with them; a file's timestamps may be rounded to milliseconds.
constexpr double kTimestampTolerance = 0.02;

// A damaged stretch longer than this is not believed: a file whose
// timestamps leap ahead further is more likely lying than damaged.
constexpr double kLongestGapSeconds = 60;

// Output frames one conversion aims at, so memory stays small however many
// samples one decoded frame holds.
constexpr long long kConversionFrames = 16384;

// Where the sample at `offset` starts in each plane of a frame of `channels`.
void pointInto(const AVFrame& frame, int channels, int offset, std::vector<const uint8_t*>& planes)
{
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int sampleBytes = av_get_bytes_per_sample(format);
    const std::size_t stride = static_cast<std::size_t>(sampleBytes) * (planar ? 1 : channels);
    planes.resize(planar ? static_cast<std::size_t>(channels) : 1);
    for (std::size_t plane = 0; plane < planes.size(); ++plane)
        planes[plane] = frame.extended_data[plane] + stride * static_cast<std::size_t>(offset);
}

} // namespace

// Builds the resampler for this frame's layout, rate and sample format unless
// it was built for exactly these: joined files switch from stereo to mono
// mid-stream, and a resampler fed the wrong layout reads past its input.
bool FfmpegDecoder::fitResamplerTo(const AVFrame& frame)
{
    Streams& s = *streams_;
    AVChannelLayout layout = layoutOf(frame);
    if (s.resampler && frame.sample_rate == s.resamplerRate && frame.format == s.resamplerFormat &&
        av_channel_layout_compare(&layout, &s.resamplerLayout) == 0) {
        av_channel_layout_uninit(&layout);
        return true;
    }
    swr_free(&s.resampler);
    av_channel_layout_uninit(&s.resamplerLayout);
    s.resamplerLayout = layout;
    s.resamplerRate = frame.sample_rate;
    s.resamplerFormat = frame.format;
    if (!isAudioRate(frame.sample_rate))
        return false;
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, output_.channels);
    const int rc = swr_alloc_set_opts2(
        &s.resampler, &outLayout, output_.floatSamples ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16,
        output_.sampleRate, &s.resamplerLayout, static_cast<AVSampleFormat>(frame.format),
        frame.sample_rate, 0, nullptr);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(s.resampler) < 0) {
        swr_free(&s.resampler);
        return false;
    }
    return true;
}

Result<std::unique_ptr<FfmpegDecoder>> FfmpegDecoder::open(const std::filesystem::path& file,
                                                           const PcmFormat& output)
{
    static std::once_flag limiting;
    std::call_once(limiting, [] { av_max_alloc(kLargestAllocation); });
    auto streams = std::make_unique<Streams>();
    using Opened = Result<std::unique_ptr<FfmpegDecoder>>;
    auto fail = [&](int code) { return Opened::failed(file.string() + ": " + ffmpegText(code)); };
    // What FFmpeg says of a file it cannot read as audio is jargon to a
    // listener: the window says what it means, the log keeps the detail.
    auto notAudio = [&](int code) {
        std::fprintf(stderr, "tonfield: %s: %s\n", file.c_str(), ffmpegText(code).c_str());
        return Opened::failed(file.string() + ": " + kNotAudio);
    };

    // FFmpeg would wait for ever on a FIFO with no writer, or read a device
    // without end: only regular files are audio files.
    if (auto regular = RegularFile::open(file); !regular)
        return Opened::failed(regular.failure());
    if (std::error_code error; std::filesystem::file_size(file, error) == 0 && !error)
        return Opened::failed(file.string() + ": 是空文件，" + kNotAudio);
    if (int rc = avformat_open_input(&streams->format, file.c_str(), nullptr, nullptr); rc < 0)
        return isNotAudio(rc) ? notAudio(rc) : fail(rc);
    if (int rc = avformat_find_stream_info(streams->format, nullptr); rc < 0)
        return isNotAudio(rc) ? notAudio(rc) : fail(rc);
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(streams->format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0)
        return isNotAudio(stream) ? notAudio(stream) : fail(stream);
    streams->stream = stream;
    const AVStream* audio = streams->format->streams[stream];
    if (const int rate = audio->codecpar->sample_rate; rate > 0 && !isAudioRate(rate))
        return Opened::failed(file.string() + ": a sample rate of " + std::to_string(rate) +
                              " Hz is not an audio rate");
    streams->timeBase = av_q2d(audio->time_base);
    streams->bitRate =
        audio->codecpar->bit_rate > 0 ? audio->codecpar->bit_rate : streams->format->bit_rate;
    const std::string_view demuxer = streams->format->iformat->name;
    streams->countedTimestamps = demuxer == "mp3" || demuxer == "aac";
    if (audio->start_time != AV_NOPTS_VALUE)
        streams->startStamp = audio->start_time;

    streams->codec = avcodec_alloc_context3(codec);
    if (int rc = avcodec_parameters_to_context(streams->codec, audio->codecpar); rc < 0)
        return fail(rc);
    if (int rc = avcodec_open2(streams->codec, codec, nullptr); rc < 0)
        return fail(rc);

    std::unique_ptr<FfmpegDecoder> decoder(new FfmpegDecoder(std::move(streams), output));
    const AVFormatContext* format = decoder->streams_->format;
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        decoder->durationSeconds_ = static_cast<double>(format->duration) / AV_TIME_BASE;
    else if (audio->duration != AV_NOPTS_VALUE)
        decoder->durationSeconds_ =
            static_cast<double>(audio->duration) * decoder->streams_->timeBase;
    decoder->decodeMore(); // learns where position 0 lies before any seek
    return Opened(std::move(decoder));
}

FfmpegDecoder::FfmpegDecoder(std::unique_ptr<Streams> streams, const PcmFormat& output)
    : streams_(std::move(streams))
    , output_(output)
{
}

FfmpegDecoder::~FfmpegDecoder() = default;

// Resamples `inputSamples` (none flushes the resampler) and keeps what lies
// past the seek target.
void FfmpegDecoder::convert(const uint8_t** input, int inputSamples)
{
    Streams& s = *streams_;
    if (!s.resampler)
        return;
    const int capacity = swr_get_out_samples(s.resampler, inputSamples);
    if (capacity <= 0)
        return;
    const int bytesPerFrame = output_.bytesPerFrame();
    std::string converted(static_cast<std::size_t>(capacity) * bytesPerFrame, '\0');
    auto* out = reinterpret_cast<uint8_t*>(converted.data());
    const int frames = swr_convert(s.resampler, &out, capacity, input, inputSamples);
    if (frames <= 0)
        return;
    const long long dropped = std::min<long long>(skipFrames_, frames);
    skipFrames_ -= dropped;
    pending_.append(converted, static_cast<std::size_t>(dropped) * bytesPerFrame,
                    static_cast<std::size_t>(frames - dropped) * bytesPerFrame);
}

// Converts the next stretch of the held frame and lets it go once it is used up.
void FfmpegDecoder::convertHeldFrame()
{
    Streams& s = *streams_;
    const AVFrame& frame = *s.frame;
    const int left = frame.nb_samples - s.frameOffset;
    if (s.resampler && left > 0) {
        const long long stretch =
            std::max<long long>(1, kConversionFrames * s.resamplerRate / output_.sampleRate);
        const int count = static_cast<int>(std::min<long long>(left, stretch));
        pointInto(frame, s.resamplerLayout.nb_channels, s.frameOffset, inputPlanes_);
        convert(inputPlanes_.data(), count);
        s.frameOffset += count;
        timelineSeconds_ += static_cast<double>(count) / s.resamplerRate;
    }
    if (!s.resampler || s.frameOffset >= frame.nb_samples) {
        av_frame_unref(s.frame);
        s.frameHeld = false;
    }
}

// Takes in a newly decoded frame: learns where position 0 lies, where a seek
// must land, and how to convert it.
void FfmpegDecoder::holdFrame()
{
    Streams& s = *streams_;
    const int64_t stamp = s.frame->best_effort_timestamp;
    // Position 0 is the stream's declared start (after an MP3 or AAC encoder
    // delay) or the first frame the decoder delivers (WMA decoders hold back
    // their first frames), whichever is later.
    if (!s.startKnown && stamp != AV_NOPTS_VALUE)
        s.startStamp = std::max(s.startStamp, stamp);
    s.startKnown = true;
    const std::optional<double> at =
        stamp == AV_NOPTS_VALUE
            ? std::nullopt
            : std::optional((static_cast<double>(stamp) - static_cast<double>(s.startStamp)) *
                            s.timeBase);
    if (s.seekTarget) {
        // The demuxer lands on a packet at or before the target; drop what
        // lies before it so playback starts where it was asked. Timestamps
        // are the file's word: reckoned in doubles, they cannot overflow.
        if (at) {
            // A frame may begin before position 0 (priming), never far before.
            const double late = std::clamp(*s.seekTarget - *at, 0.0, *s.seekTarget + 1.0);
            skipFrames_ = std::llround(late * output_.sampleRate);
        }
        timelineSeconds_ = at.value_or(*s.seekTarget);
        s.seekTarget.reset();
    } else if (at) {
        keepOnTimeline(std::max(*at, secondsByPosition().value_or(*at)));
    }
    if (at || !s.failedSinceGood) {
        s.lastGoodPosition = s.frame->pkt_pos;
        s.lastGoodSeconds = std::max(timelineSeconds_, at.value_or(timelineSeconds_));
        s.failedSinceGood = false;
    }
    s.frameOffset = 0;
    s.frameHeld = true;
    fitResamplerTo(*s.frame); // a frame nothing can convert is skipped
}

// Where the held frame begins by its place in the file, when packets failed
// to decode since the last good one: the bytes between the two, at the
// declared bit rate. Only for a bare MP3 or AAC stream, which has no
// timestamps of its own: FFmpeg counts them a frame at a time, so they do
// not show what a damaged stretch held.
std::optional<double> FfmpegDecoder::secondsByPosition() const
{
    const Streams& s = *streams_;
    const int64_t position = s.frame->pkt_pos;
    if (!s.countedTimestamps || !s.failedSinceGood || s.bitRate <= 0 || s.lastGoodPosition < 0 ||
        position <= s.lastGoodPosition)
        return std::nullopt;
    return s.lastGoodSeconds + static_cast<double>(position - s.lastGoodPosition) * 8.0 /
                                   static_cast<double>(s.bitRate);
}

// A frame that starts later than the samples decoded so far reach follows a
// stretch that could not be decoded (a damaged part of the file): silence
// stands in for it, so that the stem stays in step with the others. A
// timestamp past the file's declared end is not believed either.
void FfmpegDecoder::keepOnTimeline(double frameSeconds)
{
    const double missing = frameSeconds - timelineSeconds_;
    if (missing <= kTimestampTolerance || missing > kLongestGapSeconds ||
        frameSeconds > durationSeconds_ + kTimestampTolerance)
        return;
    convert(nullptr, 0);            // what the resampler holds belongs before the gap;
    swr_free(&streams_->resampler); // a flushed one is rebuilt for the next frame
    silenceFrames_ += std::llround(missing * output_.sampleRate);
    timelineSeconds_ = frameSeconds;
}

// Decodes until some converted audio is pending; false once the file is done.
bool FfmpegDecoder::decodeMore()
{
    Streams& s = *streams_;
    while (pending_.empty() && !drained_) {
        if (silenceFrames_ > 0) { // owed before the held frame, in bounded pieces
            const long long frames = std::min(silenceFrames_, kConversionFrames);
            const long long dropped = std::min(skipFrames_, frames);
            silenceFrames_ -= frames;
            skipFrames_ -= dropped;
            pending_.append(static_cast<std::size_t>((frames - dropped) * output_.bytesPerFrame()),
                            '\0');
            continue;
        }
        if (s.frameHeld) {
            convertHeldFrame();
            continue;
        }
        int rc = avcodec_receive_frame(s.codec, s.frame);
        if (rc == 0) {
            holdFrame();
        } else if (rc == AVERROR(EAGAIN) || (rc != AVERROR_EOF && !inputEnded_)) {
            // A frame that fails to decode is skipped, not taken for the end.
            s.failedSinceGood = s.failedSinceGood || rc != AVERROR(EAGAIN);
            rc = av_read_frame(s.format, s.packet);
            if (rc < 0) {
                avcodec_send_packet(s.codec, nullptr); // end of input: drain the decoder
                inputEnded_ = true;
                continue;
            }
            if (s.packet->stream_index == s.stream && avcodec_send_packet(s.codec, s.packet) < 0)
                s.failedSinceGood = true; // a damaged packet is skipped
            av_packet_unref(s.packet);
        } else {
            convert(nullptr, 0); // what the resampler still holds
            drained_ = true;
        }
    }
    return !pending_.empty();
}

std::size_t FfmpegDecoder::read(char* data, std::size_t maxBytes)
{
    const std::size_t bytesPerFrame = static_cast<std::size_t>(output_.bytesPerFrame());
    maxBytes -= maxBytes % bytesPerFrame;
    std::size_t written = 0;
    while (written < maxBytes && (!pending_.empty() || decodeMore())) {
        const std::size_t count = std::min(maxBytes - written, pending_.size());
        std::memcpy(data + written, pending_.data(), count);
        pending_.erase(0, count);
        written += count;
    }
    deliveredFrames_ += static_cast<long long>(written / bytesPerFrame);
    return written;
}

void FfmpegDecoder::seek(double seconds)
{
    seconds = std::clamp(seconds, 0.0, std::max(durationSeconds_, 0.0));
    Streams& s = *streams_;
    const double offset = s.timeBase > 0 ? seconds / s.timeBase : 0.0;
    const auto stamp =
        static_cast<int64_t>(std::clamp(static_cast<double>(s.startStamp) + offset, -9e18, 9e18));
    av_seek_frame(s.format, s.stream, stamp, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(s.codec);
    av_frame_unref(s.frame);
    s.frameHeld = false;
    swr_free(&s.resampler); // rebuilt for the first frame after the seek
    pending_.clear();
    drained_ = false;
    skipFrames_ = 0;
    silenceFrames_ = 0;
    inputEnded_ = false;
    s.lastGoodPosition = -1;
    s.failedSinceGood = false;
    s.seekTarget = seconds;
    deliveredFrames_ = std::llround(seconds * output_.sampleRate);
}

double FfmpegDecoder::positionSeconds() const
{
    return static_cast<double>(deliveredFrames_) / output_.sampleRate;
}

} // namespace tonfield::adapters

// What the application finds with dlsym once it loads this library.
extern "C" tonfield::adapters::OpenAudioDecoder tonfield_audio_decoder_opener()
{
    return [](const std::filesystem::path& file, const tonfield::adapters::PcmFormat& output) {
        auto opened = tonfield::adapters::FfmpegDecoder::open(file, output);
        if (!opened)
            return tonfield::Result<std::unique_ptr<tonfield::adapters::AudioDecoder>>::failed(
                opened.failure());
        return tonfield::Result<std::unique_ptr<tonfield::adapters::AudioDecoder>>(
            std::move(*opened));
    };
}
