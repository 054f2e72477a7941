// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/atomic_file.hpp"

#include "model/failure_text.hpp"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tonfield {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPrefix = ".tonfield-";
// Earlier versions saved records through ".job.json.<pid>.<n>.tmp"; a
// killed save of theirs is still cleaned up.
constexpr std::string_view kRecordPrefix = ".job.json.";
constexpr std::string_view kRecordSuffix = ".tmp";

// False for a live process, this one, or text that is no process id.
bool writerHasEnded(std::string_view pidText)
{
    long pid = 0;
    const auto [end, error] = std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
    if (error != std::errc() || end != pidText.data() + pidText.size() || pid <= 0)
        return false;
    return pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// The pid in a temporary file's name, or nothing for a name not ours.
std::string_view writerOf(std::string_view name)
{
    if (name.starts_with(kPrefix)) {
        name.remove_prefix(kPrefix.size());
        const std::size_t dash = name.find('-');
        return dash == std::string_view::npos ? std::string_view() : name.substr(0, dash);
    }
    if (name.starts_with(kRecordPrefix) && name.ends_with(kRecordSuffix) &&
        name.size() > kRecordPrefix.size() + kRecordSuffix.size()) {
        name.remove_prefix(kRecordPrefix.size());
        return name.substr(0, name.find('.'));
    }
    return {};
}

// A temporary file that a killed process left beside the file it was writing
// (a mix of a gigabyte, say) would otherwise stay there for good.
void removeStaleTemporaries(const fs::path& folder)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code ignored;
        if (writerHasEnded(writerOf(name)) &&
            it->symlink_status(ignored).type() == fs::file_type::regular)
            fs::remove(it->path(), ignored);
    }
}

fs::path folderOf(const fs::path& destination)
{
    return destination.has_parent_path() ? destination.parent_path() : fs::path(".");
}

std::error_code writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

// Delayed allocation can report a full disk only at fsync or close.
std::error_code syncAndClose(int fd)
{
    std::error_code failure;
    if (::fsync(fd) != 0)
        failure = lastError();
    if (::close(fd) != 0 && !failure)
        failure = lastError();
    return failure;
}

std::error_code syncPath(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    return fd < 0 ? lastError() : syncAndClose(fd);
}

std::error_code moveIntoPlace(const fs::path& from, const fs::path& to, Existing existing)
{
    if (existing == Existing::refuse) {
        // A hard link never replaces; where the file system has none (FAT,
        // some network shares) a checked rename stands in.
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return {};
        }
        if (errno == EEXIST || somethingAt(to))
            return std::make_error_code(std::errc::file_exists);
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : lastError();
}

// So that the rename itself survives a power cut; a failure here loses nothing
// that was promised, so it is not reported.
void syncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

Result<TemporaryFile> TemporaryFile::beside(const fs::path& destination, Existing existing,
                                            unsigned mode)
{
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(destination, ec)))
        return Result<TemporaryFile>::failed(
            failureText(destination, std::make_error_code(std::errc::is_a_directory)));
    if (existing == Existing::refuse && somethingAt(destination))
        return Result<TemporaryFile>::failed(
            failureText(destination, std::make_error_code(std::errc::file_exists)));
    const fs::path folder = folderOf(destination);
    removeStaleTemporaries(folder);
    // Short, so that it fits wherever the destination's own name fits.
    std::string name =
        (folder / (std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return Result<TemporaryFile>::failed(failureText(destination, lastError()));
    ::fchmod(fd, static_cast<mode_t>(mode & 0666));
    return Result<TemporaryFile>(TemporaryFile(destination, name, fd));
}

TemporaryFile::TemporaryFile(fs::path destination, fs::path path, int fd)
    : destination_(std::move(destination))
    , path_(std::move(path))
    , fd_(fd)
{
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : destination_(std::move(other.destination_))
    , path_(std::move(other.path_))
    , fd_(std::exchange(other.fd_, -1))
    , committed_(std::exchange(other.committed_, true))
{
}

TemporaryFile::~TemporaryFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_)
        ::unlink(path_.c_str());
}

std::error_code TemporaryFile::write(std::string_view bytes)
{
    return writeAll(fd_, bytes);
}

void TemporaryFile::close()
{
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
}

Result<> TemporaryFile::commit(Existing existing)
{
    std::error_code failure = fd_ >= 0 ? syncAndClose(std::exchange(fd_, -1)) : syncPath(path_);
    if (!failure)
        failure = moveIntoPlace(path_, destination_, existing);
    if (failure)
        return Result<>::failed(failureText(destination_, failure));
    committed_ = true;
    syncFolder(folderOf(destination_));
    return Result<>::done();
}

bool somethingAt(const fs::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

Result<> writeWhole(const fs::path& destination, std::string_view bytes)
{
    auto file = TemporaryFile::beside(destination);
    if (!file)
        return Result<>::failed(file.failure());
    if (const std::error_code failure = file->write(bytes))
        return Result<>::failed(failureText(destination, failure));
    return file->commit(Existing::replace);
}

Result<> writeThroughTemporary(const fs::path& destination,
                               const std::function<Result<>(const fs::path&)>& write)
{
    auto file = TemporaryFile::beside(destination);
    if (!file)
        return Result<>::failed(file.failure());
    file->close();
    if (auto written = write(file->path()); !written)
        return written;
    return file->commit(Existing::replace);
}

} // namespace tonfield
