// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/regular_file.hpp"

#include "model/failure_text.hpp"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tonfield {
namespace {

class FileKindCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "file kind"; }
    std::string message(int) const override { return "Not a regular file"; }
};

} // namespace

std::error_code notARegularFile()
{
    static const FileKindCategory category;
    return {1, category};
}

Result<RegularFile> RegularFile::open(const std::filesystem::path& path, Links links)
{
    // O_NONBLOCK keeps the open of a FIFO with no writer from waiting for one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY |
                                            (links == Links::refuse ? O_NOFOLLOW : 0));
    if (fd < 0)
        return Result<RegularFile>::failed(failureText(path, lastError()));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Result<RegularFile>::failed(failureText(
            path, S_ISDIR(info.st_mode) ? std::make_error_code(std::errc::is_a_directory)
                                        : notARegularFile()));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return RegularFile(fd, static_cast<std::int64_t>(info.st_size), info.st_mode & 0777);
}

RegularFile::RegularFile(int fd, std::int64_t sizeBytes, unsigned permissions)
    : fd_(fd)
    , sizeBytes_(sizeBytes)
    , permissions_(permissions)
{
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(other.fd_)
    , sizeBytes_(other.sizeBytes_)
    , permissions_(other.permissions_)
{
    other.fd_ = -1;
}

RegularFile::~RegularFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace tonfield
