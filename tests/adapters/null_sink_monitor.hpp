// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tonfield::test {

// Records what reaches the private null sink (scripts/with-null-audio.sh), so
// a test checks the sound itself rather than what the player reports.
class NullSinkMonitor {
public:
    // A shorter latency delivers the recording in smaller, earlier pieces.
    explicit NullSinkMonitor(int latencyMilliseconds = 20)
    {
        recorder_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        started_ = std::chrono::steady_clock::now();
        recorder_.start("parec", {"--device=tonfield_null.monitor", "--raw", "--format=s16le",
                                  "--rate=" + QString::number(kRate), "--channels=1",
                                  "--latency-msec=" + QString::number(latencyMilliseconds)});
        recorder_.waitForStarted();
    }
    ~NullSinkMonitor()
    {
        recorder_.kill();
        recorder_.waitForFinished();
    }
    NullSinkMonitor(const NullSinkMonitor&) = delete;
    NullSinkMonitor& operator=(const NullSinkMonitor&) = delete;

    bool started() const { return recorder_.state() == QProcess::Running; }

    // What has been recorded since the last call (mono, 44.1 kHz).
    std::vector<std::int16_t> samplesSinceLastCall()
    {
        pending_.append(recorder_.readAllStandardOutput());
        std::vector<std::int16_t> samples(static_cast<std::size_t>(pending_.size() / 2));
        if (samples.empty())
            return samples;
        std::memcpy(samples.data(), pending_.constData(), samples.size() * 2);
        take(samples.size());
        return samples;
    }

    // Drops every sample that may have been recorded before `moment`; true
    // once one recorded after it has arrived. On a busy machine the recorder
    // hands its samples over late, in bursts, so counting samples from a
    // moment on would count sound from before it. The null sink records in
    // real time from the recorder's start, a little after `started_`, and
    // drops rather than delays what no one takes, so sample i was recorded no
    // earlier than started_ + i / 44100 s.
    bool skipUntil(std::chrono::steady_clock::time_point moment)
    {
        pending_.append(recorder_.readAllStandardOutput());
        const std::chrono::duration<double> sinceStart = moment - started_;
        const auto first = static_cast<long long>(std::ceil(sinceStart.count() * kRate));
        const long long waiting = pending_.size() / 2;
        take(static_cast<std::size_t>(std::clamp(first - taken_, 0LL, waiting)));
        return taken_ >= first && pending_.size() >= 2;
    }

    // Takes in what has been recorded since the last call; returns how many
    // of those samples carry sound (louder than about -40 dBFS).
    long long loudSamplesSinceLastCall()
    {
        long long loud = 0;
        for (const std::int16_t sample : samplesSinceLastCall()) {
            if (std::abs(sample) > 300)
                ++loud;
        }
        return loud;
    }

private:
    static constexpr int kRate = 44100;

    void take(std::size_t samples)
    {
        pending_.remove(0, static_cast<qsizetype>(samples * 2));
        taken_ += static_cast<long long>(samples);
    }

    QProcess recorder_;
    std::chrono::steady_clock::time_point started_;
    QByteArray pending_;
    long long taken_ = 0; // samples handed out or dropped
};

} // namespace tonfield::test
