// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_layout.hpp"

#include "fakes/workbench_fixture.hpp"

#include <unistd.h>

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using test::writeFile;

class WorkbenchLibrary : public test::WorkbenchFixture {
protected:
    // Three finished jobs, newest first in the history: c, b, a.
    std::vector<std::string> finishedJobs()
    {
        std::vector<std::string> ids;
        for (const char* stem : {"a_(Vocals).wav", "b_(Vocals).wav", "c_(Vocals).wav"}) {
            platform.clock.now += 10;
            finishJobWithStems({stem});
            ids.push_back(jobId());
        }
        return ids;
    }
    fs::path folderOf(const std::string& id) { return layout::jobFolder(engineRoot(), id); }
};

TEST_F(WorkbenchLibrary, DeletedJobsGoToTheTrashAndTheSpaceIsCounted)
{
    const auto ids = finishedJobs();
    workbench->setShowHistory(true);
    platform.background.runAll();
    const std::uint64_t perJob = workbench->storedJobs().diskUsage().jobBytes.at(ids[0]);
    EXPECT_GT(perJob, 0u);
    EXPECT_EQ(workbench->storedJobs().diskUsage().totalBytes(), 3 * perJob);
    EXPECT_TRUE(workbench->storedJobs().diskUsage().freeBytes);

    const DeletionPlan plan = workbench->storedJobs().planDeletion({ids[0], ids[2], "not-a-job"});
    EXPECT_EQ(plan.ids, (std::vector<std::string>{ids[2], ids[0]}));
    EXPECT_EQ(plan.names, (std::vector<std::string>{"My Song (Live).flac", "My Song (Live).flac"}));
    EXPECT_EQ(plan.bytes, 2 * perJob);
    EXPECT_TRUE(plan.toTrash);

    ASSERT_EQ(jobId(), ids[2]) << "the last job is the selected one";
    workbench->storedJobs().deleteJobs({ids[0], ids[2]});
    // Listed in the trash by song, as run, when; not by id.
    ASSERT_EQ(platform.trash.shownNames.size(), 2u);
    for (const std::string& name : platform.trash.shownNames) {
        EXPECT_EQ(name.rfind("My Song (Live) · 人声 ／ 伴奏 · WAV · ", 0), 0u) << name;
        EXPECT_TRUE(fs::is_directory(temp / "Trash" / name) ||
                    fs::is_directory(temp / "Trash" / (name + ".2")));
    }
    EXPECT_FALSE(fs::exists(folderOf(ids[0])));
    ASSERT_EQ(workbench->jobs().size(), 1u);
    EXPECT_EQ(workbench->jobs()[0].id, ids[1]);
    EXPECT_FALSE(workbench->selectedJob()) << "the deleted selected job leaves the results";
    EXPECT_TRUE(workbench->stems().empty());
    EXPECT_TRUE(workbench->mixDesk().mixStrips().empty()) << "and the mixer";
    EXPECT_EQ(workbench->message(), "音频已就绪，选择模型后开始分轨。")
        << "the imported song is still there to run";
    EXPECT_FALSE(workbench->error());
    platform.background.runAll();
    EXPECT_EQ(workbench->storedJobs().diskUsage().totalBytes(), perJob);
}

// The free space shown is that of the disk the jobs are written to, which
// is another one than the engine folder's where data/jobs is a link.
TEST_F(WorkbenchLibrary, TheFreeSpaceIsThatOfTheJobsOwnDisk)
{
    const fs::path otherDisk = "/dev/shm";
    std::error_code ec;
    const auto engineDisk = fs::space(engineRoot(), ec).available;
    const auto shmDisk = fs::space(otherDisk, ec).available;
    if (ec || !fs::is_directory(otherDisk) ||
        (engineDisk > shmDisk ? engineDisk - shmDisk : shmDisk - engineDisk) < (1ull << 30))
        GTEST_SKIP() << "needs a second file system of another size at " << otherDisk;
    const fs::path jobs = otherDisk / ("tonfield-jobs-" + std::to_string(::getpid()));
    fs::create_directories(jobs);
    fs::remove_all(layout::jobsFolder(engineRoot()));
    fs::create_directories(layout::jobsFolder(engineRoot()).parent_path());
    fs::create_directory_symlink(jobs, layout::jobsFolder(engineRoot()));
    finishJobWithStems({"a_(Vocals).wav"});
    workbench->setShowHistory(true);
    platform.background.runAll();
    const auto shown = workbench->storedJobs().diskUsage().freeBytes.value_or(0);
    fs::remove_all(jobs);
    const auto nearShm = shown > shmDisk ? shown - shmDisk : shmDisk - shown;
    EXPECT_LT(nearShm, 64ull << 20) << "the engine folder's disk has " << engineDisk;
}

TEST_F(WorkbenchLibrary, TheRunningJobStaysAndFailuresAreNamed)
{
    const auto ids = finishedJobs();
    platform.trash.refused = {folderOf(ids[1])};
    startJob();
    const std::string running = jobId();
    const DeletionPlan plan = workbench->storedJobs().planDeletion({running, ids[0], ids[1]});
    EXPECT_TRUE(plan.skipsRunning);
    EXPECT_EQ(plan.ids, (std::vector<std::string>{ids[1], ids[0]}));

    workbench->storedJobs().deleteJobs({running, ids[0], ids[1]});
    EXPECT_TRUE(fs::exists(folderOf(running) / "job.json"));
    EXPECT_FALSE(fs::exists(folderOf(ids[0])));
    EXPECT_TRUE(fs::exists(folderOf(ids[1]))) << "a refused move leaves the job in place";
    EXPECT_EQ(workbench->error(),
              "未能移到回收站：" + folderOf(ids[1]).string() + ": Permission denied");
    EXPECT_EQ(workbench->jobs().size(), 3u);
    EXPECT_EQ(workbench->selectedJob()->id, running);
}

TEST_F(WorkbenchLibrary, WithoutATrashFilesAreRemovedForGood)
{
    const auto ids = finishedJobs();
    platform.trash.isAvailable = false;
    EXPECT_FALSE(workbench->storedJobs().planDeletion({ids[0]}).toTrash);
    workbench->storedJobs().deleteJobs({ids[0]});
    EXPECT_FALSE(fs::exists(folderOf(ids[0])));
    EXPECT_FALSE(fs::exists(temp / "Trash")) << "nothing went to a trash";
    EXPECT_EQ(workbench->jobs().size(), 2u);
}

TEST_F(WorkbenchLibrary, RunAgainTakesTheInputCopyAndTheSettings)
{
    workbench->setMode(SeparationMode::six);
    workbench->setFormat("MP3");
    workbench->setHighQuality(true);
    finishJobWithStems({"x_(Vocals).mp3"});
    const Job job = *workbench->selectedJob();
    workbench->setMode(SeparationMode::vocal);
    workbench->setFormat("WAV");
    workbench->setHighQuality(false);
    workbench->setShowHistory(true);

    ASSERT_FALSE(workbench->stems().empty());
    ASSERT_FALSE(workbench->mixDesk().mixStrips().empty());
    const fs::path inputCopy = jobFile("input/My Song (Live).flac");
    workbench->storedJobs().runAgain(job);
    EXPECT_FALSE(workbench->selectedJob()) << "the old run's results leave the screen";
    EXPECT_TRUE(workbench->stems().empty());
    EXPECT_TRUE(workbench->mixDesk().mixStrips().empty());
    EXPECT_TRUE(workbench->log().empty());
    EXPECT_EQ(workbench->source(), inputCopy);
    EXPECT_EQ(workbench->mode(), SeparationMode::six);
    EXPECT_EQ(workbench->format(), "MP3");
    EXPECT_TRUE(workbench->highQuality());
    EXPECT_FALSE(workbench->showHistory());

    fs::remove(inputCopy);
    workbench->storedJobs().runAgain(job);
    EXPECT_EQ(workbench->error(), "找不到这首音乐的输入副本：" + inputCopy.string());
}

} // namespace
} // namespace tonfield
