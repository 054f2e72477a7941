// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/result.hpp"

#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

namespace tonfield {

// The write handle of a job's process.log, shared with the engine as its
// standard output and standard error. Closing it ends the application's part;
// the engine keeps its own copy until it exits.
class LogHandle {
public:
    // Empties (or creates) the file, then opens it for appending.
    static Result<LogHandle> open(const std::filesystem::path& file);

    LogHandle(LogHandle&& other) noexcept
        : fd_(std::exchange(other.fd_, -1))
    {
    }
    LogHandle& operator=(LogHandle&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~LogHandle();

    int descriptor() const { return fd_; }

private:
    explicit LogHandle(int fd)
        : fd_(fd)
    {
    }
    int fd_ = -1;
};

} // namespace tonfield
