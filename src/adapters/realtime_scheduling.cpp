// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/realtime_scheduling.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace tonfield::adapters {
namespace {

// Above every ordinary thread, below the sound server's own (PulseAudio's
// and PipeWire's run at 5 and above), which must come first.
constexpr int kPriority = 4;

// RealtimeKit's default ceiling for the CPU a real-time thread may use
// without sleeping; it refuses a process whose hard limit is higher.
constexpr rlim_t kLongestRunMicroseconds = 200'000;

// The name libpulse gives the thread of its threaded main loop.
constexpr const char* kPulseThreadName = "threaded-ml";

bool isRealtime(pid_t thread)
{
    const int policy = sched_getscheduler(thread);
    return policy == SCHED_RR || policy == SCHED_FIFO;
}

// Reset on fork: a process started from the thread is an ordinary one.
bool promoteDirectly(pid_t thread)
{
    sched_param parameters{};
    parameters.sched_priority = kPriority;
    return sched_setscheduler(thread, SCHED_RR | SCHED_RESET_ON_FORK, &parameters) == 0;
}

// RealtimeKit promotes only a process that has bounded how long a real-time
// thread may run without sleeping; past it the kernel ends the process, so
// a thread that spins cannot hold a core.
bool boundRealtimeRuns()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0)
        return false;
    limit.rlim_max = std::min(limit.rlim_max, kLongestRunMicroseconds);
    limit.rlim_cur = std::min(limit.rlim_cur, limit.rlim_max);
    return setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

void askRealtimeKit(pid_t thread)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !boundRealtimeRuns())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.RealtimeKit1", "/org/freedesktop/RealtimeKit1",
        "org.freedesktop.RealtimeKit1", "MakeThreadRealtime");
    call << static_cast<qulonglong>(thread) << static_cast<uint>(kPriority);
    auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(call, 2000));
    QObject::connect(answer, &QDBusPendingCallWatcher::finished, [answer] {
        static std::atomic<bool> said{false};
        if (answer->isError() && !said.exchange(true)) // once, where a user can find it
            std::fprintf(stderr, "tonfield: playback keeps ordinary scheduling: %s\n",
                         qPrintable(answer->error().message()));
        answer->deleteLater();
    });
}

void promote(pid_t thread)
{
    if (!isRealtime(thread) && !promoteDirectly(thread))
        askRealtimeKit(thread);
}

// libpulse's threads in this process, found by name: Qt's backend keeps its
// main loop private.
std::vector<pid_t> pulseThreads()
{
    std::vector<pid_t> threads;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name == kPulseThreadName)
            threads.push_back(static_cast<pid_t>(std::stol(task.path().filename().string())));
    }
    return threads;
}

} // namespace

void requestRealtimeAudioScheduling()
{
    promote(gettid());
    for (const pid_t thread : pulseThreads())
        promote(thread);
}

} // namespace tonfield::adapters
