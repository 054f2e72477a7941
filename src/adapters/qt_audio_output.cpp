#include "adapters/qt_audio_output.hpp"

#include "adapters/audio_decoder.hpp"

#include <QAudioDevice>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>

namespace tonfield::adapters {
namespace {

// Hands decoded audio to the sink as it asks for it.
class DecoderDevice final : public QIODevice {
public:
    explicit DecoderDevice(AudioDecoder& decoder)
        : decoder_(decoder)
    {
    }

    bool isSequential() const override { return true; }
    bool atEnd() const override { return ended_; }
    void restart() { ended_ = false; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const std::size_t count = decoder_.read(data, static_cast<std::size_t>(maxSize));
        ended_ = count == 0;
        return static_cast<qint64>(count);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    AudioDecoder& decoder_;
    bool ended_ = false;
};

class QtAudioPlayer final : public ports::AudioPlayer {
public:
    QtAudioPlayer(std::unique_ptr<AudioDecoder> decoder, const QAudioDevice& device,
                  const QAudioFormat& format)
        : decoder_(std::move(decoder))
        , device_(*decoder_)
        , sink_(device, format)
    {
        device_.open(QIODevice::ReadOnly);
    }

    ~QtAudioPlayer() override { sink_.stop(); }

    double durationSeconds() const override { return decoder_->durationSeconds(); }

    void play() override
    {
        if (sink_.state() == QAudio::SuspendedState) {
            sink_.resume();
            return;
        }
        if (isPlaying())
            return;
        if (finished())
            seekDecoder(0); // a file played to its end starts over
        startSink();
    }

    void pause() override
    {
        if (sink_.state() == QAudio::ActiveState || sink_.state() == QAudio::IdleState)
            sink_.suspend();
    }

    void stop() override
    {
        sink_.stop();
        seekDecoder(0);
    }

    // What the sink has passed on since playback (re)started at `startSeconds_`;
    // audio decoded ahead into the sink's buffer does not count.
    double currentTimeSeconds() const override
    {
        const auto state = sink_.state();
        if (state == QAudio::StoppedState)
            return finished() ? decoder_->positionSeconds() : startSeconds_;
        if (state == QAudio::IdleState && finished())
            return decoder_->positionSeconds(); // everything decoded has been played
        const double heard = startSeconds_ + static_cast<double>(sink_.processedUSecs()) / 1e6;
        return std::min(heard, decoder_->positionSeconds());
    }

    void setCurrentTimeSeconds(double seconds) override
    {
        const bool wasSounding = isPlaying();
        const bool wasPaused = sink_.state() == QAudio::SuspendedState;
        sink_.stop();
        seekDecoder(seconds);
        if (wasSounding || wasPaused) {
            startSink();
            if (wasPaused)
                sink_.suspend();
        }
    }

    bool isPlaying() const override
    {
        const auto state = sink_.state();
        return state == QAudio::ActiveState || (state == QAudio::IdleState && !device_.atEnd());
    }

private:
    bool finished() const { return device_.atEnd(); }

    // The PulseAudio backend asks for the buffer length it was given at the
    // previous start, which the server may have trimmed: without a fixed
    // request the buffer shrinks with every seek until nothing is written.
    void startSink()
    {
        device_.restart();
        sink_.setBufferSize(sink_.format().bytesForDuration(bufferMicroseconds));
        sink_.start(&device_);
    }

    static constexpr qint64 bufferMicroseconds = 500'000;

    void seekDecoder(double seconds)
    {
        decoder_->seek(seconds);
        startSeconds_ = decoder_->positionSeconds();
        device_.restart();
    }

    std::unique_ptr<AudioDecoder> decoder_;
    DecoderDevice device_;
    QAudioSink sink_;
    double startSeconds_ = 0;
};

// Stereo (or mono) at the device's own rate, float where it takes float.
QAudioFormat formatFor(const QAudioDevice& device)
{
    QAudioFormat format = device.preferredFormat();
    format.setChannelCount(std::clamp(format.channelCount(), 1, 2));
    format.setSampleFormat(QAudioFormat::Float);
    if (!device.isFormatSupported(format))
        format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

} // namespace

ports::Made<ports::AudioPlayer> QtAudioOutput::open(const std::filesystem::path& file)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    const QAudioFormat format = device.isNull() ? QAudioFormat() : formatFor(device);
    const PcmFormat pcm{
        .sampleRate = device.isNull() ? 44100 : format.sampleRate(),
        .channels = device.isNull() ? 2 : format.channelCount(),
        .floatSamples = format.sampleFormat() != QAudioFormat::Int16,
    };
    auto decoder = openAudioDecoder(file, pcm);
    if (!decoder)
        return ports::Made<ports::AudioPlayer>::failed(decoder.failure());
    // Silence presented as playback would mislead; without a device nothing plays.
    if (device.isNull())
        return ports::Made<ports::AudioPlayer>::failed("这台电脑没有可用的音频输出设备");
    return ports::Made<ports::AudioPlayer>(
        std::make_unique<QtAudioPlayer>(std::move(*decoder), device, format));
}

} // namespace tonfield::adapters
