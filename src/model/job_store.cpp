#include "model/job_store.hpp"

#include "model/failure_text.hpp"
#include "model/job_id.hpp"
#include "model/job_json.hpp"
#include "model/job_layout.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tonfield {
namespace fs = std::filesystem;

namespace {

std::optional<std::string> readWholeFile(const fs::path& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string bytes;
    char buffer[16 * 1024];
    ssize_t count;
    while ((count = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) { // EISDIR for a folder named job.json, or an I/O error
            ::close(fd);
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return bytes;
}

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

// Writes all bytes to fd and forces them to disk; retries short writes.
std::error_code writeDurably(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::fsync(fd) != 0)
        return lastError();
    return {};
}

fs::path temporaryNameBeside(const fs::path& target)
{
    static std::atomic<unsigned> counter{0};
    return target.parent_path() /
           ("." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
            std::to_string(counter++) + ".tmp");
}

// So that the rename itself survives a power cut; a failure here loses nothing
// that was promised, so it is not reported.
void syncFolder(const fs::path& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

std::vector<Job> readHistory(const fs::path& engineRoot)
{
    std::vector<Job> jobs;
    std::error_code ec;
    for (fs::directory_iterator it(layout::jobsFolder(engineRoot), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entryName = it->path().filename().string();
        auto bytes = readWholeFile(it->path() / "job.json");
        if (!bytes)
            continue;
        auto job = decodeJob(*bytes);
        if (!job || !isJobId(job->id) || job->id != entryName)
            continue;
        jobs.push_back(std::move(*job));
    }
    std::stable_sort(jobs.begin(), jobs.end(),
                     [](const Job& a, const Job& b) { return a.created > b.created; });
    return jobs;
}

std::optional<std::string> writeRecord(const fs::path& engineRoot, const Job& job)
{
    const fs::path target = layout::recordFile(engineRoot, job.id);
    if (!isJobId(job.id))
        return failureText(target, std::make_error_code(std::errc::invalid_argument));
    auto bytes = encodeJob(job);
    if (!bytes)
        return failureText(target, std::make_error_code(std::errc::illegal_byte_sequence));

    const fs::path temporary = temporaryNameBeside(target);
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return failureText(target, lastError());

    std::error_code failure = writeDurably(fd, *bytes);
    if (::close(fd) != 0 && !failure)
        failure = lastError();
    if (!failure && ::rename(temporary.c_str(), target.c_str()) != 0)
        failure = lastError();
    if (failure) {
        ::unlink(temporary.c_str());
        return failureText(target, failure);
    }
    syncFolder(target.parent_path());
    return std::nullopt;
}

} // namespace tonfield
