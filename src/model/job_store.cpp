// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_store.hpp"

#include "model/atomic_file.hpp"
#include "model/failure_text.hpp"
#include "model/job_id.hpp"
#include "model/job_json.hpp"
#include "model/job_layout.hpp"
#include "model/regular_file.hpp"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tonfield {
namespace fs = std::filesystem;

namespace {

// A record is a few hundred bytes; anything past this is not one of ours, and
// reading it whole could exhaust memory.
constexpr std::int64_t maxRecordBytes = 4 * 1024 * 1024;

} // namespace

std::optional<std::string> readSmallFile(const fs::path& path)
{
    auto file = RegularFile::open(path);
    if (!file || file->sizeBytes() > maxRecordBytes)
        return std::nullopt;
    std::string bytes;
    char buffer[16 * 1024];
    ssize_t count;
    while ((count = ::read(file->descriptor(), buffer, sizeof buffer)) != 0) {
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        bytes.append(buffer, static_cast<std::size_t>(count));
        if (static_cast<std::int64_t>(bytes.size()) > maxRecordBytes)
            return std::nullopt; // grew while being read
    }
    return bytes;
}

std::vector<Job> readHistory(const fs::path& engineRoot)
{
    return HistoryReader().read(engineRoot);
}

std::vector<Job> HistoryReader::read(const fs::path& engineRoot)
{
    if (engineRoot != root_) {
        known_.clear();
        root_ = engineRoot;
    }
    std::unordered_map<std::string, Known> seen;
    std::vector<Job> jobs;
    std::error_code ec;
    for (fs::directory_iterator it(layout::jobsFolder(engineRoot), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entryName = it->path().filename().string();
        const fs::path record = it->path() / "job.json";
        struct stat info {};
        if (::lstat(record.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        const std::array<std::int64_t, 7> identity{static_cast<std::int64_t>(info.st_dev),
                                                   static_cast<std::int64_t>(info.st_ino),
                                                   static_cast<std::int64_t>(info.st_size),
                                                   info.st_ctim.tv_sec,
                                                   info.st_ctim.tv_nsec,
                                                   info.st_mtim.tv_sec,
                                                   info.st_mtim.tv_nsec};
        Known entry;
        if (auto found = known_.find(entryName);
            found != known_.end() && found->second.identity == identity) {
            entry = std::move(found->second);
        } else {
            entry.identity = identity;
            if (auto bytes = readSmallFile(record))
                entry.job = decodeJob(*bytes);
            if (entry.job && (!isJobId(entry.job->id) || entry.job->id != entryName))
                entry.job.reset();
        }
        if (entry.job)
            jobs.push_back(*entry.job);
        seen.emplace(entryName, std::move(entry));
    }
    known_ = std::move(seen); // folders gone are forgotten
    std::stable_sort(jobs.begin(), jobs.end(),
                     [](const Job& a, const Job& b) { return a.created > b.created; });
    return jobs;
}

Result<> replaceFile(const fs::path& target, std::string_view bytes)
{
    // A job folder swapped for a link would take the file somewhere else.
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target.parent_path(), ec)))
        return Result<>::failed(failureText(
            target.parent_path(), std::make_error_code(std::errc::too_many_symbolic_link_levels)));
    return writeWhole(target, bytes);
}

Result<> writeRecord(const fs::path& engineRoot, const Job& job)
{
    const fs::path target = layout::recordFile(engineRoot, job.id);
    if (!isJobId(job.id))
        return Result<>::failed(
            failureText(target, std::make_error_code(std::errc::invalid_argument)));
    auto bytes = encodeJob(job);
    if (!bytes)
        return Result<>::failed(
            failureText(target, std::make_error_code(std::errc::illegal_byte_sequence)));
    return replaceFile(target, *bytes);
}

} // namespace tonfield
