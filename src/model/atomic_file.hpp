// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/result.hpp"

#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>

namespace tonfield {

// Files that appear whole or not at all: records, mix settings, copies and
// exports. Each is written into a hidden temporary file beside its
// destination, ".tonfield-<pid>-XXXXXX", forced to disk, and only then given
// the destination's name; the folder is forced to disk after the rename, so
// that the rename survives a power cut. The pid tells a write in flight from
// one a killed process left behind: such leftovers are removed at the next
// write into their folder. Failures are the operating system's description
// after the destination's path.

// Whether a complete file may take the place of one already there.
enum class Existing { refuse, replace };

class TemporaryFile {
public:
    // An empty temporary file beside `destination`, with the permissions
    // `mode` allows. A destination that is a folder is refused, and so is
    // one already there if `existing` says so: before anything is written.
    static Result<TemporaryFile> beside(const std::filesystem::path& destination,
                                        Existing existing = Existing::replace,
                                        unsigned mode = 0644);
    // Removes the file unless it has taken the destination's name.
    ~TemporaryFile();
    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&&) = delete;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Appends all of `bytes`.
    std::error_code write(std::string_view bytes);

    // Closes the descriptor, for a writer that opens the file by its path.
    void close();

    // Forces what the file holds (whoever wrote it: a writer may even have
    // replaced it by its path) to disk, and gives it the destination's name.
    // `refuse` never replaces a file that appeared there meanwhile.
    Result<> commit(Existing existing);

private:
    TemporaryFile(std::filesystem::path destination, std::filesystem::path path, int fd);

    std::filesystem::path destination_;
    std::filesystem::path path_;
    int fd_ = -1;
    bool committed_ = false;
};

// Whether anything, a dangling link included, has the name `path`.
bool somethingAt(const std::filesystem::path& path);

// Replaces (or creates) `destination` with exactly `bytes`.
Result<> writeWhole(const std::filesystem::path& destination, std::string_view bytes);

// Has `write` fill a temporary file by its path (an encoder opens it itself),
// then gives it the destination's name, replacing a file there, only if
// `write` succeeded; otherwise nothing is left behind.
Result<> writeThroughTemporary(const std::filesystem::path& destination,
                               const std::function<Result<>(const std::filesystem::path&)>& write);

} // namespace tonfield
