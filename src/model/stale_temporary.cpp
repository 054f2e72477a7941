// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/stale_temporary.hpp"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <unistd.h>

namespace tonfield {

bool writerHasEnded(std::string_view pidText)
{
    long pid = 0;
    const auto [end, error] = std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
    if (error != std::errc() || end != pidText.data() + pidText.size() || pid <= 0)
        return false;
    return pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

} // namespace tonfield
