// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/failure_text.hpp"

#include "adapters/audio_encoder.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <string>

namespace tonfield::adapters {
namespace {

// FFmpeg's failure in words; one of the system's (a full disk above all)
// as the rest of the application says it.
std::string ffmpegText(int code)
{
    if (code < 0 && code > -4096) // AVERROR(errno), not one of FFmpeg's own tags
        return systemFailureText({AVUNERROR(code), std::generic_category()});
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct Choice {
    const char* muxer;
    const char* encoder;
    AVSampleFormat sampleFormat;
};

Choice choiceFor(EncodedFormat format)
{
    switch (format) {
    case EncodedFormat::wav24:
        return {"wav", "pcm_s24le", AV_SAMPLE_FMT_S32};
    case EncodedFormat::flac:
        return {"flac", "flac", AV_SAMPLE_FMT_S32};
    case EncodedFormat::mp3:
        return {"mp3", "libmp3lame", AV_SAMPLE_FMT_FLTP};
    }
    return {"wav", "pcm_s24le", AV_SAMPLE_FMT_S32};
}

// FFmpeg's encoders, fed in their frame size through a FIFO, with the float
// input converted by swresample to what each encoder takes.
class FfmpegEncoder final : public AudioEncoder {
public:
    ~FfmpegEncoder() override
    {
        if (format_ && format_->pb)
            avio_closep(&format_->pb);
        avformat_free_context(format_);
        avcodec_free_context(&codec_);
        swr_free(&converter_);
        if (fifo_)
            av_audio_fifo_free(fifo_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
    }

    Result<> open(const std::filesystem::path& file, EncodedFormat format, int rate, int channels)
    {
        path_ = file.string();
        const Choice choice = choiceFor(format);
        const AVCodec* encoder = avcodec_find_encoder_by_name(choice.encoder);
        if (!encoder)
            return fail(std::string("the ") + choice.encoder + " encoder is not available");
        int code = avformat_alloc_output_context2(&format_, nullptr, choice.muxer, path_.c_str());
        if (code < 0)
            return fail(code);
        codec_ = avcodec_alloc_context3(encoder);
        codec_->sample_rate = rate;
        codec_->sample_fmt = choice.sampleFormat;
        av_channel_layout_default(&codec_->ch_layout, channels);
        codec_->time_base = {1, rate};
        if (format == EncodedFormat::mp3)
            codec_->bit_rate = 320'000;
        else
            codec_->bits_per_raw_sample = 24;
        if (format_->oformat->flags & AVFMT_GLOBALHEADER)
            codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if ((code = avcodec_open2(codec_, encoder, nullptr)) < 0)
            return fail(code);
        AVStream* stream = avformat_new_stream(format_, nullptr);
        if (!stream || (code = avcodec_parameters_from_context(stream->codecpar, codec_)) < 0)
            return fail(stream ? code : AVERROR(ENOMEM));
        stream->time_base = codec_->time_base;
        if ((code = avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE)) < 0 ||
            (code = avformat_write_header(format_, nullptr)) < 0)
            return fail(code);

        AVChannelLayout layout{};
        av_channel_layout_default(&layout, channels);
        code = swr_alloc_set_opts2(&converter_, &layout, codec_->sample_fmt, rate, &layout,
                                   AV_SAMPLE_FMT_FLT, rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        if (code < 0 || (code = swr_init(converter_)) < 0)
            return fail(code);
        frameSize_ = codec_->frame_size > 0 ? codec_->frame_size : 4096;
        fifo_ = av_audio_fifo_alloc(codec_->sample_fmt, channels, frameSize_ * 2);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!fifo_ || !frame_ || !packet_)
            return fail(AVERROR(ENOMEM));
        return Result<>::done();
    }

    Result<> write(const float* frames, std::size_t count) override
    {
        while (count > 0) {
            const int chunk = static_cast<int>(std::min<std::size_t>(count, 16384));
            uint8_t** converted = nullptr;
            int code = av_samples_alloc_array_and_samples(
                &converted, nullptr, codec_->ch_layout.nb_channels, chunk, codec_->sample_fmt, 0);
            if (code < 0)
                return fail(code);
            const auto* input = reinterpret_cast<const uint8_t*>(frames);
            code = swr_convert(converter_, converted, chunk, &input, chunk);
            if (code >= 0)
                code = av_audio_fifo_write(fifo_, reinterpret_cast<void**>(converted), code);
            av_freep(&converted[0]);
            av_freep(&converted);
            if (code < 0)
                return fail(code);
            frames += static_cast<std::size_t>(chunk) * codec_->ch_layout.nb_channels;
            count -= static_cast<std::size_t>(chunk);
            while (av_audio_fifo_size(fifo_) >= frameSize_)
                if (auto sent = sendFrame(frameSize_); !sent)
                    return sent;
        }
        return Result<>::done();
    }

    Result<> finish() override
    {
        if (const int left = av_audio_fifo_size(fifo_); left > 0)
            if (auto sent = sendFrame(left); !sent)
                return sent;
        if (auto drained = encode(nullptr); !drained)
            return drained;
        if (const int code = av_write_trailer(format_); code < 0)
            return fail(code);
        if (const int code = avio_closep(&format_->pb); code < 0)
            return fail(code);
        return Result<>::done();
    }

private:
    Result<> sendFrame(int samples)
    {
        av_frame_unref(frame_);
        frame_->nb_samples = samples;
        frame_->format = codec_->sample_fmt;
        frame_->sample_rate = codec_->sample_rate;
        av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
        int code = av_frame_get_buffer(frame_, 0);
        if (code < 0)
            return fail(code);
        if (av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), samples) < samples)
            return fail(AVERROR_BUG);
        frame_->pts = written_;
        written_ += samples;
        return encode(frame_);
    }

    // Sends a frame (or the end, for nullptr) and writes every packet it yields.
    Result<> encode(AVFrame* frame)
    {
        int code = avcodec_send_frame(codec_, frame);
        if (code < 0)
            return fail(code);
        while ((code = avcodec_receive_packet(codec_, packet_)) >= 0) {
            av_packet_rescale_ts(packet_, codec_->time_base, format_->streams[0]->time_base);
            packet_->stream_index = 0;
            if ((code = av_interleaved_write_frame(format_, packet_)) < 0)
                return fail(code);
        }
        return code == AVERROR(EAGAIN) || code == AVERROR_EOF ? Result<>::done() : fail(code);
    }

    Result<> fail(int code) { return fail(ffmpegText(code)); }
    Result<> fail(const std::string& text) { return Result<>::failed(path_ + ": " + text); }

    std::string path_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* converter_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int frameSize_ = 0;
    int64_t written_ = 0;
};

} // namespace
} // namespace tonfield::adapters

// What the application finds with dlsym once it loads this library.
extern "C" tonfield::adapters::OpenAudioEncoder tonfield_audio_encoder_opener()
{
    using namespace tonfield;
    return [](const std::filesystem::path& file, adapters::EncodedFormat format, int rate,
              int channels) {
        auto encoder = std::make_unique<adapters::FfmpegEncoder>();
        if (auto opened = encoder->open(file, format, rate, channels); !opened)
            return Result<std::unique_ptr<adapters::AudioEncoder>>::failed(opened.failure());
        return Result<std::unique_ptr<adapters::AudioEncoder>>(std::move(encoder));
    };
}
