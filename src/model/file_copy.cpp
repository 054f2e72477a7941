// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/file_copy.hpp"

#include "model/failure_text.hpp"
#include "model/regular_file.hpp"
#include "model/stale_temporary.hpp"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace tonfield {
namespace fs = std::filesystem;

namespace {

enum class Existing { refuse, replace };

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

std::error_code writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

constexpr std::string_view temporaryPrefix = ".tonfield-";

// Temporary files that a killed process left beside the files it was
// writing (a mix of a gigabyte, say) are removed at the next write there.
void removeStaleTemporaries(const fs::path& folder)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(temporaryPrefix))
            continue;
        const std::size_t dash = name.find('-', temporaryPrefix.size());
        if (dash == std::string::npos)
            continue;
        std::error_code ignored;
        if (writerHasEnded(std::string_view(name).substr(temporaryPrefix.size(),
                                                         dash - temporaryPrefix.size())) &&
            it->symlink_status(ignored).type() == fs::file_type::regular)
            fs::remove(it->path(), ignored);
    }
}

// ".tonfield-<pid>-XXXXXX": short, so that it fits wherever the destination's
// own name fits; the pid tells a write in flight from one a killed process
// left behind.
std::string temporaryTemplate(const fs::path& folder)
{
    removeStaleTemporaries(folder);
    return (folder / (std::string(temporaryPrefix) + std::to_string(::getpid()) + "-XXXXXX"))
        .string();
}

// Copies source into a new temporary file beside the destination and names
// it in `temporary`; on failure nothing is left and `temporary` is empty.
Result<> copyToTemporary(const fs::path& source, const fs::path& destination, Links links,
                         std::string& temporary)
{
    auto input = RegularFile::open(source, links);
    if (!input)
        return Result<>::failed(input.failure());

    const fs::path folder = destination.has_parent_path() ? destination.parent_path() : ".";
    temporary = temporaryTemplate(folder);
    const int output = ::mkstemp(temporary.data());
    if (output < 0) {
        temporary.clear();
        return Result<>::failed(failureText(destination, lastError()));
    }
    // A private file (0600) stays private in its copy.
    ::fchmod(output, input->permissions() & 0644);

    std::optional<std::string> failure;
    char buffer[256 * 1024];
    for (;;) {
        const ssize_t count = ::read(input->descriptor(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            failure = failureText(source, lastError());
            break;
        }
        if (count == 0)
            break;
        if (auto written = writeAll(output, buffer, static_cast<std::size_t>(count))) {
            failure = failureText(destination, written);
            break;
        }
    }
    // Delayed allocation can report a full disk only here.
    if (!failure && ::fsync(output) != 0)
        failure = failureText(destination, lastError());
    if (::close(output) != 0 && !failure)
        failure = failureText(destination, lastError());
    if (failure) {
        ::unlink(temporary.c_str());
        temporary.clear();
        return Result<>::failed(*failure);
    }
    return Result<>::done();
}

bool somethingAt(const fs::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Gives the complete temporary file the destination's name.
Result<> moveIntoPlace(const std::string& temporary, const fs::path& destination, Existing existing)
{
    if (existing == Existing::replace) {
        if (::rename(temporary.c_str(), destination.c_str()) == 0)
            return Result<>::done();
        return Result<>::failed(failureText(destination, lastError()));
    }
    // A hard link never replaces; where the file system has none (FAT, some
    // network shares) a checked rename stands in.
    if (::link(temporary.c_str(), destination.c_str()) == 0) {
        ::unlink(temporary.c_str());
        return Result<>::done();
    }
    if (errno == EEXIST || somethingAt(destination))
        return Result<>::failed(
            failureText(destination, std::make_error_code(std::errc::file_exists)));
    if (::rename(temporary.c_str(), destination.c_str()) == 0)
        return Result<>::done();
    return Result<>::failed(failureText(destination, lastError()));
}

Result<> copyThroughTemporary(const fs::path& source, const fs::path& destination,
                              Existing existing, Links links)
{
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(destination, ec)))
        return Result<>::failed(
            failureText(destination, std::make_error_code(std::errc::is_a_directory)));
    if (existing == Existing::refuse && somethingAt(destination))
        return Result<>::failed(
            failureText(destination, std::make_error_code(std::errc::file_exists)));

    std::string temporary;
    if (auto copied = copyToTemporary(source, destination, links, temporary); !copied)
        return copied;
    auto moved = moveIntoPlace(temporary, destination, existing);
    if (!moved)
        ::unlink(temporary.c_str());
    return moved;
}

} // namespace

Result<> copyFile(const fs::path& source, const fs::path& destination, Links links)
{
    return copyThroughTemporary(source, destination, Existing::refuse, links);
}

Result<> replaceWithCopy(const fs::path& source, const fs::path& destination, Links links)
{
    return copyThroughTemporary(source, destination, Existing::replace, links);
}

Result<> writeThroughTemporary(const fs::path& destination,
                               const std::function<Result<>(const fs::path&)>& write)
{
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(destination, ec)))
        return Result<>::failed(
            failureText(destination, std::make_error_code(std::errc::is_a_directory)));
    const fs::path folder = destination.has_parent_path() ? destination.parent_path() : ".";
    std::string temporary = temporaryTemplate(folder);
    const int made = ::mkstemp(temporary.data());
    if (made < 0)
        return Result<>::failed(failureText(destination, lastError()));
    ::fchmod(made, 0644);
    ::close(made);
    auto written = write(temporary);
    if (written)
        written = moveIntoPlace(temporary, destination, Existing::replace);
    if (!written)
        ::unlink(temporary.c_str());
    return written;
}

} // namespace tonfield
