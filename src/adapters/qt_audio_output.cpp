#include "adapters/qt_audio_output.hpp"

#include "adapters/stem_streams.hpp"
#include "mixer/mix_bus.hpp"

#include <QAudioDevice>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tonfield::adapters {
namespace {

// A gain change ramps in over this long: short enough to be heard at once,
// long enough not to click.
constexpr double kRampSeconds = 0.005;

// Hands the mix to the sink as it asks for it: the stems' decoded audio,
// summed at their gains, converted to the sink's sample format.
class MixDevice final : public QIODevice {
public:
    MixDevice(StemStreams& streams, mixer::MixBus& bus, const QAudioFormat& format)
        : streams_(streams)
        , bus_(bus)
        , int16_(format.sampleFormat() == QAudioFormat::Int16)
        , channels_(format.channelCount())
        , mixed_(static_cast<std::size_t>(format.sampleRate() * channels_), 0.0f)
    {
    }

    bool isSequential() const override { return true; }
    bool atEnd() const override { return ended_; }
    // Frames handed to the sink since the last restart.
    long long framesGiven() const { return framesGiven_; }
    void restart()
    {
        ended_ = false;
        framesGiven_ = 0;
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const std::size_t bytesPerFrame = (int16_ ? 2u : 4u) * static_cast<std::size_t>(channels_);
        const std::size_t wanted =
            std::min(static_cast<std::size_t>(maxSize) / bytesPerFrame, mixed_.size() / channels_);
        const std::size_t frames = streams_.framesBeforeEnd(wanted);
        ended_ = frames == 0 && wanted > 0;
        if (frames == 0)
            return 0;
        bus_.render(streams_.sources(), mixed_.data(), frames);
        const std::size_t samples = frames * static_cast<std::size_t>(channels_);
        if (int16_) {
            auto* out = reinterpret_cast<qint16*>(data);
            for (std::size_t i = 0; i < samples; ++i)
                out[i] =
                    static_cast<qint16>(std::lround(std::clamp(mixed_[i], -1.0f, 1.0f) * 32767));
        } else {
            std::memcpy(data, mixed_.data(), samples * sizeof(float));
        }
        framesGiven_ += static_cast<long long>(frames);
        return static_cast<qint64>(frames * bytesPerFrame);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    StemStreams& streams_;
    mixer::MixBus& bus_;
    bool int16_;
    int channels_;
    std::vector<float> mixed_; // one second: more than a sink asks at once
    bool ended_ = false;
    long long framesGiven_ = 0;
};

// Every playback, one file or a mix of stems: the stems decoded ahead on a
// worker thread, summed by the bus, pulled by one sink. The sink lives on a
// thread of its own, where nothing but mixing happens, so a window busy for
// a moment cannot starve it and its buffer can stay short: a level, mute or
// solo change is heard within a few tens of milliseconds. Every call runs
// there, and the caller waits for it.
class QtMixPlayer final : public ports::MixPlayer {
public:
    QtMixPlayer(std::unique_ptr<StemStreams> streams, const QAudioDevice& device,
                const QAudioFormat& format)
        : streams_(std::move(streams))
        , bus_(streams_->sources().size(), format.channelCount(),
               static_cast<std::size_t>(kRampSeconds * format.sampleRate()))
        , device_(*streams_, bus_, format)
        , sampleRate_(format.sampleRate())
    {
        audioThread_.start();
        home_->moveToThread(&audioThread_);
        device_.moveToThread(&audioThread_);
        there([&] {
            device_.open(QIODevice::ReadOnly);
            sink_ = std::make_unique<QAudioSink>(device, format);
        });
    }

    ~QtMixPlayer() override
    {
        QThread* caller = QThread::currentThread();
        there([&] {
            sink_->stop();
            sink_.reset();
            device_.moveToThread(caller); // destroyed here, after the thread ends
            home_->moveToThread(caller);
        });
        audioThread_.quit();
        audioThread_.wait();
    }

    double durationSeconds() const override { return streams_->durationSeconds(); }

    void setGains(const std::vector<float>& gains) override { bus_.setTargets(gains); }

    void play() override
    {
        there([&] {
            if (sink_->state() == QAudio::SuspendedState) {
                sink_->resume();
                return;
            }
            if (sounding())
                return;
            if (finished())
                seekStreams(0); // played to its end: starts over
            startSink();
        });
    }

    void pause() override
    {
        there([&] {
            if (sink_->state() == QAudio::ActiveState || sink_->state() == QAudio::IdleState)
                sink_->suspend();
        });
    }

    void stop() override
    {
        there([&] {
            sink_->stop();
            seekStreams(0);
        });
    }

    // What the sink has passed on since playback (re)started at `startSeconds_`;
    // audio mixed ahead into the sink's buffer does not count.
    double currentTimeSeconds() const override
    {
        double seconds = 0;
        there([&] {
            const double given =
                startSeconds_ + static_cast<double>(device_.framesGiven()) / sampleRate_;
            const auto state = sink_->state();
            if (state == QAudio::StoppedState)
                seconds = finished() ? given : startSeconds_;
            else if (state == QAudio::IdleState && finished())
                seconds = given; // everything mixed has been played
            else
                seconds = std::min(
                    startSeconds_ + static_cast<double>(sink_->processedUSecs()) / 1e6, given);
        });
        return seconds;
    }

    void setCurrentTimeSeconds(double seconds) override
    {
        there([&] {
            const bool wasSounding = sounding();
            const bool wasPaused = sink_->state() == QAudio::SuspendedState;
            sink_->stop();
            seekStreams(seconds);
            if (wasSounding || wasPaused) {
                startSink();
                if (wasPaused)
                    sink_->suspend();
            }
        });
    }

    bool isPlaying() const override
    {
        bool playing = false;
        there([&] { playing = sounding(); });
        return playing;
    }

private:
    // Runs `work` on the audio thread and waits for it.
    template <class Work> void there(Work work) const
    {
        QMetaObject::invokeMethod(home_.get(), work, Qt::BlockingQueuedConnection);
    }

    // On the audio thread, as everything below.
    bool sounding() const
    {
        const auto state = sink_->state();
        return state == QAudio::ActiveState || (state == QAudio::IdleState && !device_.atEnd());
    }

    bool finished() const { return device_.atEnd(); }

    // The PulseAudio backend asks for the buffer length it was given at the
    // previous start, which the server may have trimmed: without a fixed
    // request the buffer shrinks with every seek until nothing is written.
    void startSink()
    {
        device_.restart();
        bus_.jumpToTargets(); // nothing sounded before: no ramp from it
        sink_->setBufferSize(sink_->format().bytesForDuration(bufferMicroseconds));
        sink_->start(&device_);
    }

    static constexpr qint64 bufferMicroseconds = 100'000;

    // Only while the sink is stopped: nothing reads the streams meanwhile.
    void seekStreams(double seconds)
    {
        streams_->seek(seconds);
        startSeconds_ = streams_->seekedSeconds();
        device_.restart();
    }

    std::unique_ptr<StemStreams> streams_;
    mixer::MixBus bus_;
    MixDevice device_;
    double sampleRate_;
    double startSeconds_ = 0;
    QThread audioThread_;
    std::unique_ptr<QObject> home_ = std::make_unique<QObject>(); // lives on the audio thread
    std::unique_ptr<QAudioSink> sink_;                            // created and used there only
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

ports::Made<ports::MixPlayer>
QtAudioOutput::openMix(const std::vector<std::filesystem::path>& files)
{
    using Made = ports::Made<ports::MixPlayer>;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    const QAudioFormat format = device.isNull() ? QAudioFormat() : formatFor(device);
    // The bus mixes in float whatever the sink takes.
    const PcmFormat pcm{
        .sampleRate = device.isNull() ? 44100 : format.sampleRate(),
        .channels = device.isNull() ? 2 : format.channelCount(),
        .floatSamples = true,
    };
    auto streams = StemStreams::open(files, pcm);
    if (!streams)
        return Made::failed(streams.failure());
    // Silence presented as playback would mislead; without a device nothing plays.
    if (device.isNull())
        return Made::failed("这台电脑没有可用的音频输出设备");
    return Made(std::make_unique<QtMixPlayer>(std::move(*streams), device, format));
}

ports::Made<ports::AudioPlayer> QtAudioOutput::open(const std::filesystem::path& file)
{
    auto mix = openMix({file}); // one file is the mix of one
    if (!mix)
        return ports::Made<ports::AudioPlayer>::failed(mix.failure());
    return ports::Made<ports::AudioPlayer>(std::move(*mix));
}

} // namespace tonfield::adapters
