// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_store.hpp"

#include "model/job_json.hpp"
#include "model/job_layout.hpp"

#include "fakes/file_size_limit.hpp"
#include "fakes/sample_job.hpp"
#include "fakes/temp_folder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using test::readFile;
using test::TempFolder;
using test::writeFile;

std::string idOf(int n)
{
    std::string id = std::to_string(n);
    return std::string(32 - id.size(), 'a') + id;
}

void storeRecord(const fs::path& root, const Job& job, const std::string& folderName)
{
    writeFile(layout::jobsFolder(root) / folderName / "job.json", *encodeJob(job));
}

std::vector<std::string> idsOf(const std::vector<Job>& jobs)
{
    std::vector<std::string> ids;
    for (const Job& job : jobs)
        ids.push_back(job.id);
    return ids;
}

TEST(JobStore, HistoryListsOnlyTrustworthyRecordsNewestFirst)
{
    TempFolder root;
    EXPECT_TRUE(readHistory(root.path()).empty()) << "no data/jobs yet";

    const fs::path jobs = layout::jobsFolder(root.path());
    storeRecord(root.path(), test::sampleJob(idOf(1), 100), idOf(1));
    storeRecord(root.path(), test::sampleJob(idOf(2), 200), idOf(2));
    writeFile(jobs / "stray.txt", "x");
    fs::create_directories(jobs / idOf(3));                           // no record
    fs::create_directories(jobs / idOf(4) / "job.json");              // record is a folder
    writeFile(jobs / idOf(5) / "job.json", "{\"id\":");               // broken
    storeRecord(root.path(), test::sampleJob(idOf(1), 300), idOf(6)); // copied from another job
    storeRecord(root.path(), test::sampleJob("not-a-job-id", 400), "not-a-job-id");
    storeRecord(root.path(), test::sampleJob("ABCDEF0123456789ABCDEF0123456789", 500),
                "ABCDEF0123456789ABCDEF0123456789"); // not lower case

    EXPECT_EQ(idsOf(readHistory(root.path())), (std::vector<std::string>{idOf(2), idOf(1)}));
}

// Enough records that an unstable sort would reorder equal times (the library
// sorts up to 16 elements by insertion, which happens to be stable).
// A reader that keeps what it decoded must never show a record as it was:
// every kind of change reaches the next read, as a fresh read sees it.
TEST(JobStore, AReaderThatRemembersFollowsEveryChange)
{
    TempFolder root;
    HistoryReader reader;
    auto read = [&] {
        const std::vector<Job> remembered = reader.read(root.path());
        EXPECT_EQ(remembered, readHistory(root.path())) << "as a fresh read sees it";
        return remembered;
    };
    for (int n = 1; n <= 3; ++n)
        storeRecord(root.path(), test::sampleJob(idOf(n), 100.0 + n), idOf(n));
    EXPECT_EQ(idsOf(read()), (std::vector{idOf(3), idOf(2), idOf(1)}));
    EXPECT_EQ(idsOf(read()), (std::vector{idOf(3), idOf(2), idOf(1)})) << "nothing changed";

    Job replaced = test::sampleJob(idOf(1), 500);
    replaced.status = "error";
    ASSERT_TRUE(writeRecord(root.path(), replaced));
    EXPECT_EQ(read().front(), replaced);

    // Rewritten in place, to the same size: the modification time tells.
    const fs::path second = layout::recordFile(root.path(), idOf(2));
    std::string bytes = readFile(second);
    bytes.replace(bytes.find("\"done\""), 6, "\"gone\"");
    writeFile(second, bytes);
    EXPECT_EQ(read().back().status, "gone");

    fs::remove_all(layout::jobFolder(root.path(), idOf(3)));
    writeFile(layout::recordFile(root.path(), idOf(2)), "{damaged");
    storeRecord(root.path(), test::sampleJob(idOf(4), 50), idOf(4));
    EXPECT_EQ(idsOf(read()), (std::vector{idOf(1), idOf(4)}));

    TempFolder other; // another engine folder: nothing of the first
    storeRecord(other.path(), test::sampleJob(idOf(1), 1), idOf(1));
    EXPECT_EQ(reader.read(other.path()), readHistory(other.path()));
}

TEST(JobStore, EqualCreationTimesKeepTheListingOrder)
{
    TempFolder root;
    constexpr int count = 40;
    for (int n = 1; n <= count; ++n)
        storeRecord(root.path(), test::sampleJob(idOf(n), n == count ? 99 : 50), idOf(n));

    std::vector<std::string> listed;
    for (const auto& entry : fs::directory_iterator(layout::jobsFolder(root.path())))
        if (entry.path().filename() != idOf(count))
            listed.push_back(entry.path().filename().string());
    listed.insert(listed.begin(), idOf(count));

    EXPECT_EQ(idsOf(readHistory(root.path())), listed);
}

// A long history is read on several threads: what it lists, and in which
// order, is what one thread would list: the trustworthy records, newest
// first, equal times in the order the folder lists them. Read again after a
// few records changed, only those are read anew.
TEST(JobStore, ALongHistoryReadsAsOneThreadWouldReadIt)
{
    TempFolder root;
    constexpr int count = 1500;
    for (int n = 1; n <= count; ++n) {
        if (n % 7 == 0)
            writeFile(layout::jobsFolder(root.path()) / idOf(n) / "job.json", "{damaged");
        else
            storeRecord(root.path(), test::sampleJob(idOf(n % 11 == 0 ? n + 1 : n), n % 40),
                        idOf(n));
    }
    auto expected = [&] {
        std::vector<Job> jobs;
        for (const auto& entry : fs::directory_iterator(layout::jobsFolder(root.path()))) {
            const auto bytes = readSmallFile(entry.path() / "job.json");
            const auto job = bytes ? decodeJob(*bytes) : std::nullopt;
            if (job && job->id == entry.path().filename().string())
                jobs.push_back(*job);
        }
        std::stable_sort(jobs.begin(), jobs.end(),
                         [](const Job& a, const Job& b) { return a.created > b.created; });
        return jobs;
    };
    HistoryReader reader;
    const std::vector<Job> first = reader.read(root.path());
    EXPECT_EQ(first.size(), std::size_t(count - count / 7 - (count / 11 - count / 77)));
    EXPECT_EQ(first, expected());

    for (int n = 1; n <= count; n += 97)
        if (n % 7 != 0 && n % 11 != 0)
            storeRecord(root.path(), test::sampleJob(idOf(n), 1000 + n), idOf(n));
    EXPECT_EQ(reader.read(root.path()), expected());
}

TEST(JobStore, WriteReplacesTheRecordAndNeverCreatesTheFolder)
{
    TempFolder root;
    Job job = test::sampleJob(idOf(1), 100);
    auto written = writeRecord(root.path(), job);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.failure(), layout::recordFile(root.path(), job.id).string() +
                                     ": 找不到这个文件或文件夹（No such file or directory）");
    EXPECT_FALSE(fs::exists(layout::jobFolder(root.path(), job.id)));

    fs::create_directories(layout::jobFolder(root.path(), job.id));
    EXPECT_TRUE(writeRecord(root.path(), job));
    job.status = "cancelled";
    EXPECT_TRUE(writeRecord(root.path(), job));
    EXPECT_EQ(readFile(layout::recordFile(root.path(), job.id)), *encodeJob(job));
    EXPECT_EQ(std::distance(fs::directory_iterator(layout::jobFolder(root.path(), job.id)),
                            fs::directory_iterator()),
              1)
        << "no temporary file is left beside job.json";
}

// A write cut short by the file-size limit stands in for a full disk.
TEST(JobStore, FailedWriteKeepsTheOldRecordAndLeavesNoTemporaryFile)
{
    TempFolder root;
    Job job = test::sampleJob(idOf(1), 100);
    fs::create_directories(layout::jobFolder(root.path(), job.id));
    ASSERT_TRUE(writeRecord(root.path(), job));
    const std::string before = readFile(layout::recordFile(root.path(), job.id));

    job.message = std::string(256 * 1024, 'x');
    std::optional<Result<>> written;
    {
        test::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.applied());
        written = writeRecord(root.path(), job);
    }

    ASSERT_FALSE(*written);
    EXPECT_EQ(written->failure(), layout::recordFile(root.path(), job.id).string() +
                                      ": 文件超出了允许的大小（File too large）");
    EXPECT_EQ(readFile(layout::recordFile(root.path(), job.id)), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(layout::jobFolder(root.path(), job.id)),
                            fs::directory_iterator()),
              1);
}

// Records that are not regular files, or far too large to be records, are
// skipped without blocking on them or reading them whole.
TEST(JobStore, HostileRecordsNeitherBlockNorExhaustMemory)
{
    TempFolder root;
    const fs::path jobs = layout::jobsFolder(root.path());
    storeRecord(root.path(), test::sampleJob(idOf(1), 100), idOf(1));
    fs::create_directories(jobs / idOf(2));
    ASSERT_EQ(::mkfifo((jobs / idOf(2) / "job.json").c_str(), 0600), 0);
    fs::create_directories(jobs / idOf(3));
    fs::create_symlink("/dev/zero", jobs / idOf(3) / "job.json");
    Job huge = test::sampleJob(idOf(4), 200);
    huge.message = std::string(5 * 1024 * 1024, 'x');
    storeRecord(root.path(), huge, idOf(4));

    EXPECT_EQ(idsOf(readHistory(root.path())), std::vector<std::string>{idOf(1)});
}

// A process killed between writing and renaming leaves its temporary file
// (a record's or the mixer's settings', under today's name or the one
// earlier versions used); the next save there removes it, but never one a
// live save owns. A save leaves nothing behind but the record.
TEST(JobStore, SavingRemovesTemporaryFilesOfSavesThatDied)
{
    TempFolder root;
    const Job job = test::sampleJob(idOf(1), 100);
    const fs::path folder = layout::jobFolder(root.path(), job.id);
    writeFile(folder / ".job.json.999999999.0.tmp", "{\"id\":");    // beyond any pid
    writeFile(folder / ".tonfield-999999999-Ab12Cd", "{\"gains\""); // the mixer's
    writeFile(folder / ".job.json.1.3.tmp", "in flight");           // init never dies
    writeFile(folder / ".tonfield-1-Ef34Gh", "in flight");
    writeFile(folder / "process.log", "log");

    ASSERT_TRUE(writeRecord(root.path(), job));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".job.json.1.3.tmp", ".tonfield-1-Ef34Gh", "job.json",
                                              "process.log"}));
}

TEST(JobStore, RefusesToWriteARecordWhoseIdNamesAPath)
{
    TempFolder root;
    fs::create_directories(root / "data");
    EXPECT_FALSE(writeRecord(root.path(), test::sampleJob("..", 1)));
    EXPECT_FALSE(fs::exists(root / "data/job.json"));
}

} // namespace
} // namespace tonfield
