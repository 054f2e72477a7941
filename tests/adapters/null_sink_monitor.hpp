// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QProcess>

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
        recorder_.start("parec", {"--device=tonfield_null.monitor", "--raw", "--format=s16le",
                                  "--rate=44100", "--channels=1",
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
        pending_.remove(0, static_cast<qsizetype>(samples.size() * 2));
        return samples;
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
    QProcess recorder_;
    QByteArray pending_;
};

} // namespace tonfield::test
