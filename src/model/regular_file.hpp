// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/result.hpp"

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace tonfield {

// Whether a file may be reached through a symbolic link: the user's own files
// may be (a library of links), what an engine wrote may not.
enum class Links { follow, refuse };

// A file opened for reading only if it is a regular file. Opening never
// blocks: a FIFO, a device or a socket in place of a record, a log or a stem
// is refused ("Not a regular file") instead of freezing the caller.
class RegularFile {
public:
    static Result<RegularFile> open(const std::filesystem::path& path, Links links = Links::follow);
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&&) = delete;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    int descriptor() const { return fd_; }
    std::int64_t sizeBytes() const { return sizeBytes_; }
    // The permission bits (rwx for user, group, others).
    unsigned permissions() const { return permissions_; }

private:
    RegularFile(int fd, std::int64_t sizeBytes, unsigned permissions);

    int fd_ = -1;
    std::int64_t sizeBytes_ = 0;
    unsigned permissions_ = 0;
};

// The error for a path that names something other than a regular file.
std::error_code notARegularFile();

} // namespace tonfield
