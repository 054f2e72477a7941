// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/log_handle.hpp"

#include "model/failure_text.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tonfield {

Result<LogHandle> LogHandle::open(const std::filesystem::path& file)
{
    // Creating the empty file may fail without consequence: opening it for
    // writing next is what decides. Neither follows a symbolic link: a log
    // that is one would have the engine's output written over its target.
    if (int created =
            ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        created >= 0)
        ::close(created);
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Result<LogHandle>::failed(failureText(file, lastError()));
    return LogHandle(fd);
}

LogHandle::~LogHandle()
{
    if (fd_ >= 0)
        ::close(fd_); // a failure to close changes nothing for the run
}

} // namespace tonfield
