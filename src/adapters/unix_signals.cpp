// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/unix_signals.hpp"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tonfield::adapters {
namespace {

int signalSockets[2] = {-1, -1};

// Only async-signal-safe work here: one byte down the socket.
void forward(int)
{
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(signalSockets[0], &byte, 1);
}

} // namespace

UnixSignals::UnixSignals(std::function<void()> onTerminate, QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0)
        return;
    // Not inherited by the engine; set apart from socketpair, as macOS has no
    // SOCK_CLOEXEC.
    for (int socket : signalSockets)
        ::fcntl(socket, F_SETFD, FD_CLOEXEC);
    auto* notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [onTerminate = std::move(onTerminate)] {
        char byte;
        [[maybe_unused]] auto count = ::read(signalSockets[1], &byte, 1);
        onTerminate();
    });
    struct sigaction action {};
    action.sa_handler = forward;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace tonfield::adapters
