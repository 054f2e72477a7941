// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_json.hpp"
#include "model/job_layout.hpp"
#include "model/job_store.hpp"

#include "fakes/workbench_fixture.hpp"

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

class WorkbenchQueue : public test::WorkbenchFixture {
protected:
    std::vector<fs::path> album(std::initializer_list<const char*> names)
    {
        std::vector<fs::path> files;
        for (const char* name : names) {
            files.push_back(temp / "album" / name);
            writeFile(files.back(), std::string("audio of ") + name);
        }
        return files;
    }
    Job stored(const std::string& id)
    {
        return decodeJob(readFile(layout::recordFile(engineRoot(), id))).value();
    }
    std::string runningName() { return workbench->selectedJob().value().filename; }
    std::string inputOf(const Job& job)
    {
        return readFile(layout::inputFolder(engineRoot(), job.id) / job.filename);
    }
};

TEST_F(WorkbenchQueue, RunsOneJobAtATimeInOrderWhateverEachOutcome)
{
    workbench->setMode(SeparationMode::four);
    workbench->enqueue(album({"1 Intro.mp3", "2 Song.flac", "notes.txt", "3 Outro.wav"}));
    EXPECT_EQ(workbench->error(), "未能加入队列：notes.txt");
    ASSERT_EQ(platform.launcher.launches.size(), 1u);
    EXPECT_EQ(runningName(), "1 Intro.mp3");
    ASSERT_EQ(workbench->queue().size(), 2u);
    for (const std::string& id : workbench->queue()) {
        const Job waiting = stored(id);
        EXPECT_EQ(waiting.status, "queued");
        EXPECT_EQ(waiting.mode, "four") << "the settings chosen when it was queued";
        EXPECT_EQ(inputOf(waiting), "audio of " + waiting.filename) << "copied when queued";
    }
    EXPECT_EQ(platform.launcher.last().invocation.arguments[2],
              (layout::inputFolder(engineRoot(), jobId()) / "1 Intro.mp3").string());

    workbench->setMode(SeparationMode::vocal); // a later change does not touch queued jobs
    platform.clock.now += 100;
    platform.launcher.exit(1); // the first fails: the queue goes on
    EXPECT_EQ(stored(workbench->jobs().back().id).status, "error");
    ASSERT_EQ(platform.launcher.launches.size(), 2u);
    EXPECT_EQ(runningName(), "2 Song.flac");
    EXPECT_EQ(workbench->selectedJob()->status, "running");
    EXPECT_EQ(workbench->selectedJob()->created, platform.clock.now) << "timed from its launch";
    EXPECT_EQ(platform.launcher.last().invocation.arguments[4], "htdemucs.yaml");

    workbench->cancel(); // the stop button ends the running job only
    platform.launcher.exit(143);
    ASSERT_EQ(platform.launcher.launches.size(), 3u);
    EXPECT_EQ(runningName(), "3 Outro.wav");
    writeFile(jobFile("output/3 Outro_(Vocals).wav"), "stem");
    platform.launcher.exit(0);
    EXPECT_FALSE(workbench->busy());
    EXPECT_TRUE(workbench->queue().empty());
    EXPECT_EQ(workbench->selectedJob()->status, "done");
}

TEST_F(WorkbenchQueue, AQueuedJobCanBeCancelledAndTheWholeQueueStopped)
{
    workbench->enqueue(album({"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
    const std::vector<std::string> waiting = workbench->queue();
    workbench->cancelQueued(waiting[0]);
    EXPECT_EQ(stored(waiting[0]).status, "cancelled");
    EXPECT_EQ(workbench->queue(), (std::vector<std::string>{waiting[1], waiting[2]}));

    workbench->stopQueue();
    EXPECT_EQ(stored(waiting[1]).status, "cancelled");
    EXPECT_EQ(stored(waiting[2]).status, "cancelled");
    EXPECT_EQ(platform.launcher.last().terminateRequests, 1) << "and the running job is cancelled";
    platform.launcher.exit(143);
    EXPECT_EQ(platform.launcher.launches.size(), 1u) << "nothing more starts";
    EXPECT_EQ(workbench->selectedJob()->status, "cancelled");
}

TEST_F(WorkbenchQueue, QuittingKeepsTheQueueForTheNextStartToResume)
{
    workbench->enqueue(album({"a.mp3", "b.mp3", "c.mp3"}));
    const std::vector<std::string> waiting = workbench->queue();
    workbench->terminateForExit();
    platform.launcher.exit(143);
    EXPECT_EQ(platform.launcher.launches.size(), 1u) << "no next job while quitting";
    EXPECT_EQ(workbench->selectedJob()->status, "cancelled");
    for (const std::string& id : waiting)
        EXPECT_EQ(stored(id).status, "queued");
    workbench.reset();

    test::FakePlatform restarted;
    restarted.environment.currentDirectoryPath = engineRoot();
    auto again = Workbench::create(restarted.services());
    EXPECT_TRUE(restarted.launcher.launches.empty()) << "nothing runs before the user agrees";
    EXPECT_EQ(again->waitingFromEarlierRun(), waiting) << "in the order they were queued";
    again->resumeQueue();
    ASSERT_EQ(restarted.launcher.launches.size(), 1u);
    EXPECT_EQ(again->selectedJob()->filename, "b.mp3");
    EXPECT_EQ(again->queue(), (std::vector<std::string>{waiting[1]}));
    EXPECT_TRUE(again->waitingFromEarlierRun().empty());
}

TEST_F(WorkbenchQueue, AJobEndedElsewhereIsSkippedAndProgressGivesTheTimeLeft)
{
    workbench->enqueue(album({"a.mp3", "b.mp3", "c.mp3"}));
    // Another program (the command line) took b meanwhile.
    Job taken = stored(workbench->queue()[0]);
    taken.status = "running";
    ASSERT_TRUE(writeRecord(engineRoot(), taken));

    const fs::path log = jobFile("process.log");
    writeFile(log, "模型就绪\n分离进度  10%");
    platform.clock.now += 20;
    workbench->tick();
    EXPECT_EQ(workbench->progress(), 10.0);
    EXPECT_FALSE(workbench->timeLeft());
    writeFile(log, "模型就绪\n分离进度  10%\r分离进度  40%");
    platform.clock.now += 15;
    workbench->tick();
    EXPECT_EQ(workbench->progress(), 40.0);
    EXPECT_DOUBLE_EQ(workbench->timeLeft().value(), 30.0); // 30 points took 15 s
    writeFile(log, "模型就绪\n分离进度  40%\n写入音轨…\n");
    workbench->tick();
    EXPECT_FALSE(workbench->progress()) << "the last line shows no percentage";

    platform.launcher.exit(1);
    EXPECT_EQ(runningName(), "c.mp3");
    EXPECT_FALSE(workbench->progress()) << "a new job starts without the last one's";
    EXPECT_FALSE(workbench->timeLeft());
}

} // namespace
} // namespace tonfield
