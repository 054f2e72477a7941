// SPDX-License-Identifier: GPL-3.0-or-later
// Playback through the default output device: the time from `play` until the
// sink reports its first audio played, and the CPU used while a FLAC stem
// plays. Run it against a sound server, for example
//     scripts/with-null-audio.sh build/bench/playback_bench

#include "adapters/qt_audio_output.hpp"
#include "process_usage.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
using tonfield::bench::cpuSeconds;
using tonfield::bench::residentKiB;

template <class Predicate> void runUntil(Predicate done)
{
    QElapsedTimer deadline;
    deadline.start();
    while (!done() && deadline.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const QString stem = folder.filePath("stem.flac");
    QProcess::execute("ffmpeg", {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                 "sine=frequency=440:duration=30", "-ac", "2", stem});

    tonfield::adapters::QtAudioOutput output;
    std::vector<double> startMs;
    for (int run = 0; run < 5; ++run) {
        auto opened = output.open(stem.toStdString());
        if (!opened) {
            std::fprintf(stderr, "cannot play: %s\n", opened.failure().c_str());
            return 1;
        }
        QElapsedTimer clock;
        clock.start();
        (*opened)->play();
        runUntil([&] { return (*opened)->currentTimeSeconds() > 0; });
        startMs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    const double first = startMs.front();
    std::sort(startMs.begin(), startMs.end());
    std::printf("play to first audio played, 5 runs: first %.0f ms, median %.0f ms, best %.0f ms\n",
                first, startMs[2], startMs[0]);

    auto opened = output.open(stem.toStdString());
    const double cpuBefore = cpuSeconds();
    (*opened)->play();
    QEventLoop playing;
    QTimer::singleShot(10'000, &playing, &QEventLoop::quit);
    playing.exec();
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("playing a FLAC stem for 10 s: CPU %.3f s (%.2f %% of one core)\n", cpu, cpu * 10);
    (*opened).reset();

    // An hour-long file is streamed, not loaded.
    const QString hour = folder.filePath("hour.flac");
    QProcess::execute("ffmpeg", {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                 "sine=frequency=220:duration=3600", "-ac", "2", hour});
    const long before = residentKiB();
    auto long_ = output.open(hour.toStdString());
    (*long_)->play();
    (*long_)->setCurrentTimeSeconds(1800);
    QTimer::singleShot(3'000, &playing, &QEventLoop::quit);
    playing.exec();
    std::printf("one-hour FLAC (%.0f s) playing from its middle: resident %ld KiB -> %ld KiB\n",
                (*long_)->durationSeconds(), before, residentKiB());
}
