// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_audio_output.hpp"

#include "adapters/realtime_scheduling.hpp"
#include "adapters/stem_streams.hpp"
#include "adapters/tempo_stage.hpp"
#include "mixer/mix_bus.hpp"

#include <QAudioDevice>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace tonfield::adapters {
namespace {

// A gain change ramps in over this long: short enough to be heard at once,
// long enough not to click.
constexpr double kRampSeconds = 0.005;

// Turns the bus's float mix into the sink's sample format.
class SampleWriter {
public:
    explicit SampleWriter(const QAudioFormat& format)
        : int16_(format.sampleFormat() == QAudioFormat::Int16)
        , channels_(format.channelCount())
        , bytes_(static_cast<std::size_t>(format.sampleRate() * channels_) * sizeof(float))
    {
    }

    std::size_t bytesPerFrame() const
    {
        return (int16_ ? 2u : 4u) * static_cast<std::size_t>(channels_);
    }

    // The converted bytes of `frames` mixed frames.
    const char* convert(const float* mixed, std::size_t frames)
    {
        const std::size_t samples = frames * static_cast<std::size_t>(channels_);
        if (!int16_)
            return reinterpret_cast<const char*>(mixed);
        auto* out = reinterpret_cast<qint16*>(bytes_.data());
        for (std::size_t i = 0; i < samples; ++i)
            out[i] = static_cast<qint16>(std::lround(std::clamp(mixed[i], -1.0f, 1.0f) * 32767));
        return bytes_.data();
    }

private:
    bool int16_;
    int channels_;
    std::vector<char> bytes_;
};

// Every playback, one file or a mix of stems: the stems decoded ahead on a
// worker thread, summed by the bus, written to one sink. The sink lives on a
// thread of its own, where nothing but mixing happens, under real-time
// scheduling where the desktop grants it, so neither a window busy for a
// moment nor a busy machine can starve it. The mix is pushed into the sink
// every few milliseconds as room appears, which keeps its buffer full: a
// level, mute or solo change is mixed into what plays some 220 ms later.
// Its calls run on that thread, the caller waiting for them, except those
// that do not touch the sink: setGains and setTempo store atomics the next
// feed reads; currentTimeSeconds and isPlaying read what the audio thread
// published at its last feed or call, so the poll never waits for it; and
// durationSeconds reads what the streams learnt when opened.
class QtMixPlayer final : public ports::MixPlayer {
public:
    QtMixPlayer(std::unique_ptr<StemStreams> streams, const QAudioDevice& device,
                const QAudioFormat& format)
        : streams_(std::move(streams))
        , bus_(streams_->sources().size(), format.channelCount(),
               static_cast<std::size_t>(kRampSeconds * format.sampleRate()))
        , writer_(format)
        , mixed_(static_cast<std::size_t>(format.sampleRate() * format.channelCount()), 0.0f)
        , channels_(format.channelCount())
        , sampleRate_(format.sampleRate())
        , tempo_(format.sampleRate(), format.channelCount())
    {
        // The metronome is silent until it is given a gain.
        std::vector<float> gains(streams_->sources().size(), 1.0f);
        gains.back() = 0.0f;
        bus_.setTargets(gains);
        audioThread_.start();
        home_->moveToThread(&audioThread_);
        there([&] {
            sink_ = std::make_unique<QAudioSink>(device, format);
            feeder_ = std::make_unique<QTimer>();
            feeder_->setTimerType(Qt::PreciseTimer);
            feeder_->setInterval(kFeedMilliseconds);
            QObject::connect(feeder_.get(), &QTimer::timeout, [this] {
                feed();
                publish();
            });
            publish();
        });
    }

    ~QtMixPlayer() override
    {
        QThread* caller = QThread::currentThread();
        there([&] {
            feeder_.reset();
            sink_->stop();
            sink_.reset();
            home_->moveToThread(caller); // destroyed here, after the thread ends
        });
        audioThread_.quit();
        audioThread_.wait();
    }

    double durationSeconds() const override { return streams_->durationSeconds(); }

    void setGains(const std::vector<float>& gains) override
    {
        std::vector<float> all = gains;
        all.resize(streams_->sources().size(), 0.0f); // a metronome left out is silent
        bus_.setTargets(all);
    }

    // Like a new loop, the rings hold what was decoded before: the mix moves
    // on from where it is, decoded anew.
    void setClick(const mixer::ClickTrack& track) override
    {
        const double now = currentTimeSeconds();
        change([&] {
            click_ = track;
            streams_->setClick(track);
            restartAt(now);
        });
    }

    // Heard from the next feed on; the stage comes into the path at the first
    // change and stays until the next seek, so that nothing jumps.
    void setTempo(const mixer::Tempo& tempo) override
    {
        speed_ = tempo.clamped().speed;
        semitones_ = tempo.clamped().semitones;
    }

    // The rings already hold audio past the new loop's end: the stems are
    // moved (into the loop, if outside it) so that they are decoded anew.
    void setLoop(const std::optional<mixer::Loop>& loop) override
    {
        const double now = currentTimeSeconds();
        change([&] {
            loop_ = loop;
            streams_->setLoop(loop); // the feeder runs on this thread: nothing reads now
            restartAt(loop && !loop->contains(now) ? loop->start : now);
        });
    }

    void play() override
    {
        change([&] { playHere(); });
    }

    void playCountingIn() override
    {
        change([&] {
            if (sink_->state() == QAudio::SuspendedState || sounding()) {
                playHere();
                return;
            }
            const double from = ended_ ? 0 : startSeconds_;
            seekStreams(from, mixer::countInSeconds(click_, from));
            startSink();
        });
    }

    void pause() override
    {
        change([&] {
            if (sink_->state() == QAudio::ActiveState || sink_->state() == QAudio::IdleState)
                suspendSink();
        });
    }

    void stop() override
    {
        change([&] {
            stopSink();
            seekStreams(0);
        });
    }

    // Any thread: as of the audio thread's last feed or call, at most a feed
    // (10 ms) old.
    double currentTimeSeconds() const override { return position_.load(); }

    void setCurrentTimeSeconds(double seconds) override
    {
        change([&] { restartAt(seconds); });
    }

    bool isPlaying() const override { return playing_.load(); }

private:
    // Runs `work` on the audio thread and waits for it.
    template <class Work> void there(Work work) const
    {
        QMetaObject::invokeMethod(home_.get(), work, Qt::BlockingQueuedConnection);
    }

    // Runs `work`, which changes what plays, on the audio thread, publishes
    // the outcome, and waits for both.
    template <class Work> void change(Work work)
    {
        there([&] {
            work();
            publish();
        });
    }

    // On the audio thread, as everything below.
    void playHere()
    {
        if (sink_->state() == QAudio::SuspendedState) {
            sink_->resume();
            feeder_->start();
        } else if (!sounding()) {
            if (ended_)
                seekStreams(0); // played to its end: starts over
            startSink();
        }
    }

    // Once the mix has ended the sink goes idle when it has played what it holds.
    bool sounding() const
    {
        const auto state = sink_->state();
        return state == QAudio::ActiveState || (state == QAudio::IdleState && !ended_);
    }

    // What the sink has passed on since playback (re)started at
    // `startSeconds_` (audio mixed ahead into the sink's buffer does not
    // count), and whether it sounds, for any thread to read.
    void publish()
    {
        const double given = static_cast<double>(sourceFrames_) / sampleRate_;
        const auto state = sink_->state();
        double played = 0;
        if (state == QAudio::StoppedState)
            played = ended_ ? given : 0;
        else if (state == QAudio::IdleState && ended_)
            played = given; // everything mixed has been played
        else if (!stretching_)
            played = std::min(playedUSecs() / 1e6, given);
        else
            played = heardSourceFrames() / sampleRate_;
        // A count-in holds the position where the stems will start.
        played = std::max(0.0, played - leadInSeconds_);
        const double seconds =
            loop_ ? mixer::loopedPosition(startSeconds_, played, *loop_) : startSeconds_ + played;
        position_.store(seconds);
        playing_.store(sounding());
    }

    // Mixes as much as the sink has room for; after the end, goes on only
    // until the sink has played out what it holds.
    void feed()
    {
        if (ended_ && !sounding())
            feeder_->stop();
        if (!out_ || ended_)
            return;
        const qsizetype free = std::max<qsizetype>(sink_->bytesFree(), 0);
        if (ranDry(free)) {
            restartWithLongerBuffer();
            return;
        }
        const std::size_t room = static_cast<std::size_t>(free) / writer_.bytesPerFrame();
        const std::size_t wanted =
            std::min(room, mixed_.size() / static_cast<std::size_t>(channels_));
        if (wanted == 0)
            return;
        const mixer::Tempo tempo{speed_.load(), semitones_.load()};
        stretching_ = stretching_ || !tempo.isNeutral();
        std::size_t frames = 0;
        if (stretching_) {
            frames = stretch(tempo, wanted);
        } else if ((frames = streams_->framesBeforeEnd(wanted)) > 0) {
            bus_.render(streams_->sources(), mixed_.data(), frames);
            sourceFrames_ += static_cast<long long>(frames);
        }
        if (frames == 0) {
            // The end. A sink that ran dry waits to be refilled before it
            // plays again: silence fills it, so it plays out what it holds
            // and then goes idle.
            ended_ = true;
            std::fill_n(mixed_.begin(), wanted * static_cast<std::size_t>(channels_), 0.0f);
            write(wanted);
            return;
        }
        write(frames);
        framesGiven_ += static_cast<long long>(frames);
    }

    // The mix through the tempo stage: source frames go in until it has
    // `wanted` frames ready, or the source has ended and its tail is out.
    std::size_t stretch(const mixer::Tempo& tempo, std::size_t wanted)
    {
        tempo_.setTempo(tempo);
        while (tempo_.available() < wanted && !tempo_.finished()) {
            const std::size_t frames = streams_->framesBeforeEnd(tempo_.wanted());
            if (frames > 0)
                bus_.render(streams_->sources(), tempo_.input(), frames);
            tempo_.process(frames, frames == 0);
            sourceFrames_ += static_cast<long long>(frames);
        }
        return tempo_.retrieve(mixed_.data(), std::min(wanted, tempo_.available()));
    }

    void write(std::size_t frames)
    {
        out_->write(writer_.convert(mixed_.data(), frames),
                    static_cast<qint64>(frames * writer_.bytesPerFrame()));
        bytesSinceSinkStart_ += static_cast<qint64>(frames * writer_.bytesPerFrame());
    }

    // The sink, filled once since it started, is empty again while the mix
    // goes on: the sound server took everything and then played silence,
    // held up for longer than the buffer lasts (a busy machine does that).
    bool ranDry(qsizetype free) const
    {
        return bytesSinceSinkStart_ >= sink_->bufferSize() && free >= sink_->bufferSize();
    }

    // After a dropout the buffer doubles, up to a limit where a change would
    // be heard too late to follow, for as long as this mix is open: a machine
    // busy enough to starve the sound server once will do it again. Nothing
    // is skipped: the sink played out all it was given, so the mix goes on
    // from there, and the position counts what it played.
    void restartWithLongerBuffer()
    {
        bufferUSecs_ = std::min(2 * bufferUSecs_, kLongestBufferUSecs);
        playedBeforeRestartUSecs_ =
            static_cast<qint64>(static_cast<double>(framesGiven_) * 1e6 / sampleRate_);
        sink_->stop();
        out_ = nullptr;
        startSink();
    }

    // What the sink has played since the last seek, across restarts.
    double playedUSecs() const
    {
        return static_cast<double>(playedBeforeRestartUSecs_ + sink_->processedUSecs());
    }

    // Each start asks for the same buffer length: the PulseAudio backend
    // would otherwise ask for what the server granted at the previous start,
    // which it may have trimmed, shrinking the buffer with every seek.
    void startSink()
    {
        bus_.jumpToTargets(); // nothing sounded before: no ramp from it
        sink_->setBufferSize(sink_->format().bytesForDuration(bufferUSecs_));
        out_ = sink_->start();
        bytesSinceSinkStart_ = 0;
        requestRealtimeAudioScheduling(); // the backend may have made a thread for the stream
        feed();
        feeder_->start();
    }

    void suspendSink()
    {
        feeder_->stop();
        sink_->suspend();
    }

    void stopSink()
    {
        feeder_->stop();
        sink_->stop();
        out_ = nullptr;
    }

    // The stems' frames heard so far through the tempo stage: those taken in,
    // less what the stage and the sink still hold, counted back to source time.
    double heardSourceFrames() const
    {
        const double played = playedUSecs() * sampleRate_ / 1e6;
        const double inSink = std::max(0.0, static_cast<double>(framesGiven_) - played);
        const double held = tempo_.heldSourceFrames() + inSink * speed_.load();
        return std::max(0.0, static_cast<double>(sourceFrames_) - held);
    }

    // Moves the mix to `seconds`, sounding or paused as it was.
    void restartAt(double seconds)
    {
        const bool wasSounding = sounding();
        const bool wasPaused = sink_->state() == QAudio::SuspendedState;
        stopSink();
        seekStreams(seconds);
        if (wasSounding || wasPaused) {
            startSink();
            if (wasPaused)
                suspendSink();
        }
    }

    // Only while the sink is stopped: nothing reads the streams meanwhile.
    // Every (re)start follows one, and counts from where it put the stems,
    // after the lead-in of a count-in.
    void seekStreams(double seconds, double leadInSeconds = 0)
    {
        streams_->seek(seconds, leadInSeconds);
        startSeconds_ = streams_->seekedSeconds();
        leadInSeconds_ = std::round(leadInSeconds * sampleRate_) / sampleRate_;
        ended_ = false;
        framesGiven_ = 0;
        sourceFrames_ = 0;
        playedBeforeRestartUSecs_ = 0;
        tempo_.reset();
        stretching_ = false;
    }

    static constexpr int kFeedMilliseconds = 10;
    static constexpr qint64 kLongestBufferUSecs = 800'000;

    std::unique_ptr<StemStreams> streams_;
    mixer::MixBus bus_;
    SampleWriter writer_;
    std::vector<float> mixed_; // one second: more than the sink ever has room for
    int channels_;
    double sampleRate_;
    double startSeconds_ = 0;
    double leadInSeconds_ = 0;            // of the count-in before startSeconds_
    mixer::ClickTrack click_;             // the audio thread's
    std::optional<mixer::Loop> loop_;     // the audio thread's
    bool ended_ = false;                  // every frame of the mix has been handed over
    long long framesGiven_ = 0;           // since the last (re)start, as the sink plays them
    long long sourceFrames_ = 0;          // of the stems, since the last (re)start
    qint64 playedBeforeRestartUSecs_ = 0; // by sinks restarted since the last seek
    qint64 bytesSinceSinkStart_ = 0;      // written into the sink since it started
    // The buffer each start asks for. PulseAudio keeps a little over half of
    // it queued for the stream (220 ms of 400), topped up every 10 ms: more
    // than a busy machine was seen to hold the sound server up.
    qint64 bufferUSecs_ = 400'000;
    TempoStage tempo_;
    bool stretching_ = false; // the stage is in the path (the audio thread's)
    std::atomic<double> speed_{1.0};
    std::atomic<int> semitones_{0};
    std::atomic<double> position_{0.0}; // published by the audio thread
    std::atomic<bool> playing_{false};  // likewise
    QThread audioThread_;
    std::unique_ptr<QObject> home_ = std::make_unique<QObject>(); // lives on the audio thread
    // Created and used on the audio thread only.
    std::unique_ptr<QAudioSink> sink_;
    std::unique_ptr<QTimer> feeder_;
    QIODevice* out_ = nullptr; // the sink's, while it runs
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
