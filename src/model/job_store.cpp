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
#include <functional>
#include <future>
#include <sys/stat.h>
#include <thread>
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

namespace {

// A record read and decoded; absent when it cannot be, or when it names
// another folder or no valid id.
std::optional<Job> readRecord(const fs::path& record, const std::string& folderName)
{
    auto bytes = readSmallFile(record);
    std::optional<Job> job = bytes ? decodeJob(*bytes) : std::nullopt;
    if (job && (!isJobId(job->id) || job->id != folderName))
        job.reset();
    return job;
}

// Runs work(i) for every i below count, on up to every core when there are
// enough to share: a cold start reads thousands of records. Each index is
// taken by one thread only; an exception reaches the caller.
void forEachShared(std::size_t count, const std::function<void(std::size_t)>& work)
{
    constexpr std::size_t leastPerThread = 256;
    const std::size_t threads =
        std::min<std::size_t>(std::max(1U, std::thread::hardware_concurrency()),
                              std::max<std::size_t>(1, count / leastPerThread));
    std::vector<std::future<void>> others;
    for (std::size_t t = 1; t < threads; ++t)
        others.push_back(std::async(std::launch::async, [&work, count, threads, t] {
            for (std::size_t i = t; i < count; i += threads)
                work(i);
        }));
    for (std::size_t i = 0; i < count; i += threads)
        work(i);
    for (auto& other : others)
        other.get();
}

} // namespace

std::vector<Job> HistoryReader::read(const fs::path& engineRoot)
{
    if (engineRoot != root_) {
        known_.clear();
        root_ = engineRoot;
    }
    // The folders in the order listed; those whose record is new or changed
    // are read afterwards, together.
    struct Listed {
        std::string name;
        Known entry;
        bool fresh = false;
    };
    std::vector<Listed> listed;
    std::error_code ec;
    for (fs::directory_iterator it(layout::jobsFolder(engineRoot), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string entryName = it->path().filename().string();
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
        Listed entry{.name = std::move(entryName), .entry = {}, .fresh = false};
        if (auto found = known_.find(entry.name);
            found != known_.end() && found->second.identity == identity) {
            entry.entry = std::move(found->second);
        } else {
            entry.entry.identity = identity;
            entry.fresh = true;
        }
        listed.push_back(std::move(entry));
    }
    std::vector<std::size_t> fresh;
    for (std::size_t i = 0; i < listed.size(); ++i)
        if (listed[i].fresh)
            fresh.push_back(i);
    const fs::path jobsFolder = layout::jobsFolder(engineRoot);
    forEachShared(fresh.size(), [&](std::size_t k) {
        Listed& entry = listed[fresh[k]];
        entry.entry.job = readRecord(jobsFolder / entry.name / "job.json", entry.name);
    });

    // Sorted as pointers, then copied once: a record is too large to move
    // about ten thousand times over.
    std::vector<const Job*> newestFirst;
    for (const Listed& entry : listed)
        if (entry.entry.job)
            newestFirst.push_back(&*entry.entry.job);
    std::stable_sort(newestFirst.begin(), newestFirst.end(),
                     [](const Job* a, const Job* b) { return a->created > b->created; });
    std::vector<Job> jobs;
    jobs.reserve(newestFirst.size());
    for (const Job* job : newestFirst)
        jobs.push_back(*job);

    std::unordered_map<std::string, Known> seen;
    seen.reserve(listed.size());
    for (Listed& entry : listed)
        seen.emplace(std::move(entry.name), std::move(entry.entry));
    known_ = std::move(seen); // folders gone are forgotten
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
