// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/display_text.hpp"
#include "model/job_json.hpp"
#include "model/job_layout.hpp"
#include "model/job_store.hpp"

#include "fakes/sample_job.hpp"
#include "fakes/workbench_fixture.hpp"

#include <cstdio>
#include <pthread.h>

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
    // Jobs an earlier run left waiting, written straight to disk.
    std::vector<std::string> leaveQueued(std::size_t count, std::size_t first = 1)
    {
        std::vector<std::string> ids;
        for (std::size_t i = 0; i < count; ++i) {
            char id[33];
            std::snprintf(id, sizeof id, "%032zx", first + i);
            Job job = test::sampleJob(id, 1000.0 + static_cast<double>(i));
            job.status = "queued";
            job.elapsed.reset();
            test::storeJob(engineRoot(), job);
            writeFile(layout::inputFolder(engineRoot(), id) / job.filename, "audio");
            fs::create_directories(layout::outputFolder(engineRoot(), id));
            ids.push_back(id);
        }
        return ids;
    }
    std::shared_ptr<Workbench> restart()
    {
        workbench.reset();
        return Workbench::create(platform.services());
    }
    std::string inputOf(const Job& job)
    {
        return readFile(layout::inputFolder(engineRoot(), job.id) / job.filename);
    }
};

TEST_F(WorkbenchQueue, RunsOneJobAtATimeInOrderWhateverEachOutcome)
{
    workbench->setMode(SeparationMode::four);
    workbench->jobQueue().enqueue(
        album({"1 Intro.mp3", "2 Song.flac", "notes.txt", "3 Outro.wav"}));
    EXPECT_EQ(workbench->error(), "未能加入队列：notes.txt");
    ASSERT_EQ(platform.launcher.launches.size(), 1u);
    EXPECT_EQ(runningName(), "1 Intro.mp3");
    ASSERT_EQ(workbench->jobQueue().queue().size(), 2u);
    for (const std::string& id : workbench->jobQueue().queue()) {
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
    EXPECT_TRUE(workbench->jobQueue().queue().empty());
    EXPECT_EQ(workbench->selectedJob()->status, "done");
}

TEST_F(WorkbenchQueue, AQueuedJobCanBeCancelledAndTheWholeQueueStopped)
{
    workbench->jobQueue().enqueue(album({"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
    const std::vector<std::string> waiting = workbench->jobQueue().queue();
    workbench->jobQueue().cancelQueued(waiting[0]);
    EXPECT_EQ(stored(waiting[0]).status, "cancelled");
    EXPECT_EQ(workbench->jobQueue().queue(), (std::vector<std::string>{waiting[1], waiting[2]}));

    workbench->jobQueue().stopQueue();
    EXPECT_EQ(stored(waiting[1]).status, "cancelled");
    EXPECT_EQ(stored(waiting[2]).status, "cancelled");
    EXPECT_EQ(platform.launcher.last().terminateRequests, 1) << "and the running job is cancelled";
    platform.launcher.exit(143);
    EXPECT_EQ(platform.launcher.launches.size(), 1u) << "nothing more starts";
    EXPECT_EQ(workbench->selectedJob()->status, "cancelled");
}

TEST_F(WorkbenchQueue, QuittingKeepsTheQueueForTheNextStartToResume)
{
    workbench->jobQueue().enqueue(album({"a.mp3", "b.mp3", "c.mp3"}));
    const std::vector<std::string> waiting = workbench->jobQueue().queue();
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
    EXPECT_EQ(again->jobQueue().waitingFromEarlierRun(), waiting)
        << "in the order they were queued";
    again->jobQueue().resumeQueue();
    ASSERT_EQ(restarted.launcher.launches.size(), 1u);
    EXPECT_EQ(again->selectedJob()->filename, "b.mp3");
    EXPECT_EQ(again->jobQueue().queue(), (std::vector<std::string>{waiting[1]}));
    EXPECT_TRUE(again->jobQueue().waitingFromEarlierRun().empty());
}

TEST_F(WorkbenchQueue, TheSongAQuitStoppedIsNamedSinceItIsNotAmongTheWaiting)
{
    workbench->jobQueue().enqueue(album({"a.mp3", "b.mp3"}));
    const std::vector<std::string> waiting = workbench->jobQueue().queue();
    workbench->terminateForExit(); // the application ends before the engine's exit arrives
    auto again = restart();
    EXPECT_EQ(again->jobQueue().waitingFromEarlierRun(), waiting);
    EXPECT_EQ(again->jobQueue().songStoppedByQuit(), "a.mp3");
}

// Songs dropped on the history while a stem plays: the queue's first run
// leaves the page and the preview as they are (a stem file stays where it
// is); only the mix of the job that was shown stops.
TEST_F(WorkbenchQueue, AQueueStepLeavesThePageAndAPreviewAsTheyAre)
{
    finishJobWithStems({"a_(Vocals).wav", "a_(Drums).wav"});
    const fs::path stem = workbench->stems().front().url;
    platform.audio.durations = {{stem, 100}};
    workbench->play(stem);
    workbench->setShowHistory(true);
    workbench->jobQueue().enqueue(album({"b.mp3"}));
    ASSERT_TRUE(workbench->busy());
    EXPECT_TRUE(workbench->showHistory());
    EXPECT_EQ(workbench->playingURL(), stem);
    workbench->cancel();
    platform.launcher.exit(143);

    workbench->select(workbench->jobs().back()); // a, the oldest
    for (const Stem& each : workbench->stems())
        platform.audio.durations[each.url] = 100;
    workbench->mixDesk().playMix();
    ASSERT_TRUE(workbench->mixDesk().mixPlaying());
    workbench->jobQueue().enqueue(album({"c.mp3"}));
    EXPECT_FALSE(workbench->mixDesk().mixPlaying()) << "the mix was the shown job's";
    EXPECT_FALSE(workbench->mixDesk().mixLoaded());
}

TEST_F(WorkbenchQueue, SaysWhichSongOfHowManyAndWhatTheWholeQueueStillNeeds)
{
    workbench->jobQueue().enqueue(album({"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(display::queueLine(workbench->jobQueue().queueRun(),
                                 workbench->jobQueue().queue().size(), runningName(), std::nullopt),
              "队列第 1 首，共 3 首：a.mp3");
    platform.clock.now += 100;
    writeFile(jobFile("output/a_(Vocals).wav"), "stem");
    platform.launcher.exit(0);
    EXPECT_EQ(workbench->jobQueue().queueRun(),
              (QueueRun{.taken = 2, .completed = 1, .completedSeconds = 100}));
    const auto left =
        queueSecondsLeft(workbench->jobQueue().queueRun(), workbench->jobQueue().queue().size(),
                         workbench->elapsed(), workbench->timeLeft());
    EXPECT_EQ(display::queueLine(workbench->jobQueue().queueRun(),
                                 workbench->jobQueue().queue().size(), runningName(), left),
              "队列第 2 首，共 3 首：b.mp3 · 全部预计剩余 03:20");

    platform.clock.now += 30;
    platform.launcher.exit(1); // a failure is not an average song's time
    EXPECT_EQ(workbench->jobQueue().queueRun(),
              (QueueRun{.taken = 3, .completed = 1, .completedSeconds = 100}));
    workbench->cancel();
    platform.launcher.exit(143);
    EXPECT_EQ(workbench->jobQueue().queueRun(), QueueRun())
        << "run through: the next queue counts from one";
    EXPECT_FALSE(workbench->jobQueue().songStoppedByQuit())
        << "cancelled by the user, not by a quit";
}

TEST_F(WorkbenchQueue, AJobEndedElsewhereIsSkippedAndProgressGivesTheTimeLeft)
{
    workbench->jobQueue().enqueue(album({"a.mp3", "b.mp3", "c.mp3"}));
    // Another program (the command line) took b meanwhile.
    Job taken = stored(workbench->jobQueue().queue()[0]);
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

// A queued job's folder comes from disk: where it, its input/, output/ or
// log is a symbolic link, the job is refused, and nothing is written through
// the link (not the log, not the stems, not even the record).
TEST_F(WorkbenchQueue, AQueuedJobWithLinksIsRefusedAndNothingIsWrittenThroughThem)
{
    workbench->jobQueue().enqueue(album({"first.mp3", "log.mp3", "output.mp3", "folder.mp3"}));
    const std::vector<std::string> waiting = workbench->jobQueue().queue();
    writeFile(temp / "user/letter.txt", "precious");
    fs::create_symlink(temp / "user/letter.txt", layout::logFile(engineRoot(), waiting[0]));
    fs::create_directories(temp / "user/elsewhere");
    fs::remove(layout::outputFolder(engineRoot(), waiting[1]));
    fs::create_directory_symlink(temp / "user/elsewhere",
                                 layout::outputFolder(engineRoot(), waiting[1]));
    const fs::path moved = temp / "user/moved";
    fs::rename(layout::jobFolder(engineRoot(), waiting[2]), moved);
    fs::create_directory_symlink(moved, layout::jobFolder(engineRoot(), waiting[2]));
    const std::string movedRecord = readFile(moved / "job.json");

    platform.launcher.exit(1);
    EXPECT_EQ(platform.launcher.launches.size(), 1u) << "none of the three ran";
    EXPECT_FALSE(workbench->busy());
    EXPECT_NE(workbench->error().value_or("").find("符号链接"), std::string::npos);
    EXPECT_EQ(readFile(temp / "user/letter.txt"), "precious");
    EXPECT_TRUE(fs::is_empty(temp / "user/elsewhere"));
    EXPECT_EQ(readFile(moved / "job.json"), movedRecord);
    EXPECT_FALSE(fs::exists(moved / "process.log"));

    // Saving into a job folder swapped for a link is refused too.
    Job record = stored(waiting[0]);
    record.id = waiting[2];
    EXPECT_FALSE(writeRecord(engineRoot(), record));
    EXPECT_EQ(readFile(moved / "job.json"), movedRecord);
    // And the log is never opened through a link.
    EXPECT_FALSE(LogHandle::open(layout::logFile(engineRoot(), waiting[0])));
    EXPECT_EQ(readFile(temp / "user/letter.txt"), "precious");
}

// Stopping a long queue reads the history once, not once a job.
TEST_F(WorkbenchQueue, StoppingALongQueueReadsTheHistoryOnce)
{
    std::vector<std::string> storage;
    for (int i = 0; i < 200; ++i)
        storage.push_back("song " + std::to_string(i) + ".mp3");
    std::vector<fs::path> files;
    for (const std::string& name : storage) {
        files.push_back(temp / "album" / name);
        writeFile(files.back(), "audio");
    }
    workbench->jobQueue().enqueue(files);
    const std::vector<std::string> waiting = workbench->jobQueue().queue();
    ASSERT_EQ(waiting.size(), 199u);
    changes.clear();
    workbench->jobQueue().stopQueue();
    EXPECT_LE(std::count(changes.begin(), changes.end(), Workbench::Field::jobs), 2);
    for (const std::string& id : waiting)
        EXPECT_EQ(stored(id).status, "cancelled");
    EXPECT_TRUE(workbench->jobQueue().queue().empty());
}

// Resumed on an engine that is not ready, the waiting jobs stay queued with
// one message; resumed where every launch fails, each is recorded as failed
// in a loop, which a small stack survives (a recursion did not).
TEST_F(WorkbenchQueue, AQueueThatCannotLaunchWaitsOrFailsWithoutRecursion)
{
    const std::vector<std::string> waiting = leaveQueued(1000);
    fs::remove(engineRoot() / ".venv/bin/python");
    auto broken = restart();
    ASSERT_FALSE(broken->ready());
    broken->jobQueue().resumeQueue();
    EXPECT_TRUE(platform.launcher.launches.empty());
    EXPECT_TRUE(broken->jobQueue().queue().empty());
    EXPECT_NE(broken->error().value_or("").find("1000 首音乐保留在队列中"), std::string::npos);
    EXPECT_EQ(stored(waiting.front()).status, "queued");
    EXPECT_EQ(stored(waiting.back()).status, "queued");

    // Whatever the broken engine did with those, a thousand more wait now.
    for (const std::string& id : waiting)
        fs::remove_all(layout::jobFolder(engineRoot(), id));
    const std::vector<std::string> more = leaveQueued(1000, 5000);
    test::makeEngineFolder(engineRoot(), true);
    platform.launcher.failure = "the engine could not be started";
    auto failing = restart();
    ASSERT_EQ(failing->jobQueue().waitingFromEarlierRun().size(), 1000u);
    // On a thread whose stack is 1 MiB: a launch failing into the next launch
    // a thousand times deep would overflow it.
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 1 << 20);
    pthread_t thread;
    auto run = [](void* resumed) -> void* {
        static_cast<Workbench*>(resumed)->jobQueue().resumeQueue();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, failing.get()), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_FALSE(failing->busy());
    EXPECT_EQ(stored(more.front()).status, "error");
    EXPECT_EQ(stored(more.back()).status, "error");
    EXPECT_EQ(failing->error(), "the engine could not be started");
}

} // namespace
} // namespace tonfield
