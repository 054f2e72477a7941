#pragma once

#include <QProcess>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tonfield::test {

// Records what reaches the private null sink (scripts/with-null-audio.sh), so
// a test checks the sound itself rather than what the player reports.
class NullSinkMonitor {
public:
    NullSinkMonitor()
    {
        recorder_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        recorder_.start("parec", {"--device=tonfield_null.monitor", "--raw", "--format=s16le",
                                  "--rate=44100", "--channels=1", "--latency-msec=20"});
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

    // Takes in what has been recorded since the last call; returns how many
    // of those samples carry sound (louder than about -40 dBFS).
    long long loudSamplesSinceLastCall()
    {
        const QByteArray bytes = recorder_.readAllStandardOutput();
        pending_.append(bytes);
        long long loud = 0;
        const qsizetype whole = pending_.size() - pending_.size() % 2;
        for (qsizetype at = 0; at < whole; at += 2) {
            std::int16_t sample;
            std::memcpy(&sample, pending_.constData() + at, 2);
            if (std::abs(sample) > 300)
                ++loud;
        }
        pending_.remove(0, whole);
        return loud;
    }

private:
    QProcess recorder_;
    QByteArray pending_;
};

} // namespace tonfield::test
