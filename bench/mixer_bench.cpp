// SPDX-License-Identifier: GPL-3.0-or-later
// The stem mixer through the default output device: CPU while six stems play
// (FLAC and WAV), the memory six long stems add, how soon a mute and a seek
// are heard at the sink's monitor, and how well six copies of one sweep stay
// aligned (played at alternating gains +1 and -1 they cancel; what is left
// is measured) before and after 50 seeks; and how long a 4-minute stem's
// overview takes to measure. Run it against the private null sink:
//     scripts/with-null-audio.sh build/bench/mixer_bench [minutes=10]

#include "adapters/null_sink_monitor.hpp"
#include "adapters/qt_audio_output.hpp"
#include "adapters/qt_waveforms.hpp"
#include "process_usage.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace {
using namespace tonfield;
using bench::cpuSeconds;
using bench::residentKiB;

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Milliseconds until `done` holds for what the monitor records, polled as the
// recording comes in; infinite if it never does (within 10 s).
template <class Predicate> double msUntil(test::NullSinkMonitor& monitor, Predicate done)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10'000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
        if (done(monitor.samplesSinceLastCall()))
            return static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }
    return std::numeric_limits<double>::infinity();
}

double rms(const std::vector<std::int16_t>& samples)
{
    double sum = 0;
    for (const auto sample : samples)
        sum += static_cast<double>(sample) * sample;
    return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size())) / 32768;
}

double levelOver(test::NullSinkMonitor& monitor, int ms)
{
    monitor.samplesSinceLastCall();
    wait(ms);
    return rms(monitor.samplesSinceLastCall());
}

std::unique_ptr<ports::MixPlayer> openSix(const QString& file)
{
    auto opened = adapters::QtAudioOutput().openMix(
        std::vector<std::filesystem::path>(6, std::filesystem::path(file.toStdString())));
    if (!opened) {
        std::fprintf(stderr, "cannot play: %s\n", opened.failure().c_str());
        std::exit(1);
    }
    return std::move(*opened);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::stoi(argv[1]) : 10;
    QTemporaryDir folder;
    const QString seconds = QString::number(minutes * 60);
    for (const char* extension : {"flac", "wav"})
        QProcess::execute("ffmpeg",
                          {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                           "aevalsrc=0.3*sin(2*PI*(100+300*mod(t\\,10))*t):s=44100:d=" + seconds,
                           "-ac", "2", folder.filePath(QString("stem.") + extension)});

    for (const char* extension : {"flac", "wav"}) {
        const long before = residentKiB();
        auto mix = openSix(folder.filePath(QString("stem.") + extension));
        mix->setGains({1 / 6.0f, 1 / 6.0f, 1 / 6.0f, 1 / 6.0f, 1 / 6.0f, 1 / 6.0f});
        mix->play();
        wait(1000);
        const double cpuBefore = cpuSeconds();
        wait(10'000);
        const double cpu = cpuSeconds() - cpuBefore;
        std::printf("six %d-minute %s stems playing for 10 s: CPU %.2f %% of one core, "
                    "resident +%ld KiB\n",
                    minutes, extension, cpu * 10, residentKiB() - before);
    }

    {
        auto mix = openSix(folder.filePath("stem.flac"));
        mix->setGains({1 / 6.0f, 1 / 6.0f, 1 / 6.0f, 1 / 6.0f, 1 / 6.0f, 1 / 6.0f});
        mix->setTempo({0.7, -2});
        mix->play();
        wait(1000);
        const double cpuBefore = cpuSeconds();
        wait(10'000);
        std::printf(
            "the same six FLAC stems at 70 %% speed, -2 semitones: CPU %.2f %% of one core\n",
            (cpuSeconds() - cpuBefore) * 10);
    }

    // Recording only now: reading the monitor costs this process CPU too.
    test::NullSinkMonitor monitor(5);
    auto mix = openSix(folder.filePath("stem.flac"));
    const std::vector<float> sounding(6, 1 / 6.0f), muted(6, 0.0f);
    mix->setGains(sounding);
    mix->play();
    // An idle null sink has mixed ahead of the clock: a new stream waits for it.
    msUntil(monitor, [](const auto& heard) { return rms(heard) > 0.01; });
    wait(300);
    const double before = levelOver(monitor, 300);
    // Ten mutes and ten unmutes; a mute is heard once the level has fallen
    // by 20 dB, an unmute once it is back within 20 dB.
    std::vector<double> mutes, unmutes;
    for (int trial = 0; trial < 10; ++trial) {
        monitor.samplesSinceLastCall();
        mix->setGains(muted);
        mutes.push_back(msUntil(monitor, [&](const auto& heard) {
            return !heard.empty() && rms(heard) < before / 10;
        }));
        wait(300);
        monitor.samplesSinceLastCall();
        mix->setGains(sounding);
        unmutes.push_back(
            msUntil(monitor, [&](const auto& heard) { return rms(heard) > before / 10; }));
        wait(300);
    }
    std::sort(mutes.begin(), mutes.end());
    std::sort(unmutes.begin(), unmutes.end());
    std::printf(
        "a mute of every stem heard at the monitor (-20 dB): median %.0f ms, worst %.0f ms\n",
        mutes[5], mutes.back());
    std::printf("an unmute heard at the monitor: median %.0f ms, worst %.0f ms\n", unmutes[5],
                unmutes.back());

    monitor.samplesSinceLastCall();
    mix->setCurrentTimeSeconds(minutes * 30.0);
    const double seek = msUntil(monitor, [](const auto& heard) { return rms(heard) > 0.01; });
    std::printf("a seek while playing: sound again at the monitor after %.0f ms\n", seek);

    {
        // A steady tone transposed an octave up and back: heard once the
        // last 20 ms cross zero at the new rate.
        QProcess::execute("ffmpeg", {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                     "sine=frequency=440:sample_rate=44100:duration=60",
                                     folder.filePath("tone.wav")});
        mix->stop();
        auto tone = adapters::QtAudioOutput().openMix({folder.filePath("tone.wav").toStdString()});
        (*tone)->play();
        msUntil(monitor, [](const auto& heard) { return rms(heard) > 0.01; });
        wait(300);
        std::vector<std::int16_t> recent;
        auto heardAt = [&](double hertz) {
            return [&recent, hertz](const std::vector<std::int16_t>& heard) {
                recent.insert(recent.end(), heard.begin(), heard.end());
                if (recent.size() > 882)
                    recent.erase(recent.begin(), recent.end() - 882);
                int crossings = 0;
                for (std::size_t i = 1; i < recent.size(); ++i)
                    crossings += (recent[i - 1] < 0) != (recent[i] < 0);
                return recent.size() == 882 &&
                       std::abs(crossings / 2.0 / 0.02 - hertz) < hertz * 0.08;
            };
        };
        std::vector<double> changes;
        for (int trial = 0; trial < 5; ++trial) {
            for (const int semitones : {12, 0}) {
                recent.clear();
                monitor.samplesSinceLastCall();
                (*tone)->setTempo({1.0, semitones});
                changes.push_back(msUntil(monitor, heardAt(semitones ? 880 : 440)));
                wait(300);
            }
        }
        std::sort(changes.begin(), changes.end());
        std::printf("a pitch change heard at the monitor: median %.0f ms, worst %.0f ms\n",
                    changes[changes.size() / 2], changes.back());
    }

    const float one = 1 / 3.0f;
    mix->setGains({one, -one, one, -one, one, -one});
    wait(1000);                               // what the sink holds was mixed before the change
    const double loud = 0.3 * std::sqrt(0.5); // one copy's RMS
    std::printf("six copies at alternating gains, residual vs one copy: %.1f dB",
                20 * std::log10(std::max(levelOver(monitor, 1500), 1e-6) / loud));
    for (int step = 0; step < 50; ++step) {
        mix->setCurrentTimeSeconds(step * (minutes * 60.0 / 50));
        QCoreApplication::processEvents();
    }
    mix->setCurrentTimeSeconds(minutes * 60.0 - 20);
    std::printf("; after 50 seeks, near the end: %.1f dB\n",
                20 * std::log10(std::max(levelOver(monitor, 1500), 1e-6) / loud));
    mix.reset();

    // A fresh cache, so the overview is measured rather than read.
    qputenv("XDG_CACHE_HOME", folder.filePath("cache").toUtf8());
    const QString fourMinutes = folder.filePath("four.flac");
    QProcess::execute("ffmpeg", {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                 "sine=frequency=330:duration=240", "-ac", "2", fourMinutes});
    adapters::QtWaveforms waveforms;
    bool ready = false;
    QElapsedTimer clock;
    clock.start();
    waveforms.request(fourMinutes.toStdString(), [&](mixer::Overview) { ready = true; });
    while (!ready && clock.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("the overview of a 4-minute FLAC stem: ready after %lld ms\n", clock.elapsed());
}
