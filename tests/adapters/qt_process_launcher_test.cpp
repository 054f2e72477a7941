// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/event_loop.hpp"
#include "adapters/qt_adapters.hpp"
#include "fakes/temp_folder.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tonfield::adapters {
namespace {
namespace fs = std::filesystem;
using test::readFile;
using test::runUntil;

// A stand-in engine: a shell script in the interpreter's place. What it does
// is chosen by FAKE_ENGINE in its environment.
constexpr const char* fakeEngine = R"(#!/bin/sh
here=$(pwd)
printf '%s\n' "$@" > "$here/argv.txt"
pwd > "$here/cwd.txt"
env > "$here/env.txt"
echo $$ > "$here/pid.txt"
case "$FAKE_ENGINE" in
  ok)     echo "模型就绪"; echo "to stderr" >&2; printf '\r 50%%\r100%%\n'
          mkdir -p "$4" && printf 'RIFF' > "$4/a_(Vocals).wav"; exit 0 ;;
  exit)   exit 3 ;;
  killed) kill -KILL $$ ;;
  wait)   trap 'echo got TERM; exit 0' TERM; echo waiting
          while [ ! -e "$here/release" ]; do sleep 0.01; done; echo released; exit 0 ;;
  stubborn) trap 'echo ignoring TERM' TERM; echo waiting
          while [ ! -e "$here/release" ]; do sleep 0.01; done; exit 5 ;;
  flood)  head -c 20000000 /dev/zero | tr '\0' 'x'
          while [ ! -e "$here/release" ]; do sleep 0.01; done; exit 0 ;;
esac
)";

class QtProcessLauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::writeFile(root / ".venv/bin/python", fakeEngine);
        fs::permissions(root / ".venv/bin/python", fs::perms::owner_all);
        logFd =
            ::open((root / "process.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        ASSERT_GE(logFd, 0);
    }
    void TearDown() override { ::close(logFd); }

    ports::Made<ports::RunningProcess> launch(const std::string& behaviour)
    {
        engine::Invocation invocation = engine::buildInvocation(
            root, root / "input/a.wav", root / "output",
            {.mode = SeparationMode::six, .format = "MP3", .highQuality = true},
            {{"FAKE_ENGINE", behaviour}, {"PATH", "/usr/bin:/bin"}, {"PYTHONUNBUFFERED", "0"}});
        return launcher.launch(invocation, logFd, [this](int status) { exits.push_back(status); });
    }
    std::string log() const { return readFile(root / "process.log"); }
    void release() { test::writeFile(root / "release", ""); }

    test::TempFolder temp;
    fs::path root = temp / "engine folder";
    int logFd = -1;
    QtProcessLauncher launcher;
    std::vector<int> exits;
};

TEST_F(QtProcessLauncherTest, RunsTheInvocationWithBothStreamsInTheLog)
{
    auto process = launch("ok");
    ASSERT_TRUE(process) << process.failure();
    ASSERT_TRUE(runUntil([&] { return !exits.empty(); }));
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(log(), "模型就绪\nto stderr\n\r 50%\r100%\n");
    EXPECT_EQ(readFile(root / "output/a_(Vocals).wav"), "RIFF")
        << "the stem went where it was told";
    EXPECT_EQ(readFile(root / "argv.txt"), "-u\n" + (root / "separate_job.py").string() + "\n" +
                                               (root / "input/a.wav").string() + "\n" +
                                               (root / "output").string() +
                                               "\nhtdemucs_6s.yaml\nMP3\nhigh\n");
    EXPECT_EQ(readFile(root / "cwd.txt"), root.string() + "\n");
    const std::string env = readFile(root / "env.txt");
    EXPECT_NE(env.find("PYTHONUNBUFFERED=1\n"), std::string::npos);
    EXPECT_NE(env.find("FAKE_ENGINE=ok\n"), std::string::npos);
    EXPECT_EQ(env.find("HOME="), std::string::npos) << "exactly the given environment";
}

TEST_F(QtProcessLauncherTest, ReportsExitStatusesAndDeathBySignal)
{
    auto failing = launch("exit");
    auto killed = launch("killed");
    ASSERT_TRUE(runUntil([&] { return exits.size() == 2; }));
    std::sort(exits.begin(), exits.end());
    EXPECT_EQ(exits, (std::vector<int>{3, 128 + SIGKILL}));
}

TEST_F(QtProcessLauncherTest, TerminateAsksWithoutWaiting)
{
    auto process = launch("wait");
    ASSERT_TRUE(runUntil([&] { return log().find("waiting") != std::string::npos; }));
    (*process)->terminate();
    EXPECT_TRUE(exits.empty()) << "terminate returns before the child has exited";
    ASSERT_TRUE(runUntil([&] { return !exits.empty(); }));
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_NE(log().find("got TERM"), std::string::npos);

    // A child that ignores the request keeps running until it ends by itself.
    exits.clear();
    auto stubborn = launch("stubborn");
    ASSERT_TRUE(runUntil(
        [&] { return log().find("waiting\n", log().find("got TERM")) != std::string::npos; }));
    (*stubborn)->terminate();
    ASSERT_TRUE(runUntil([&] { return log().find("ignoring TERM") != std::string::npos; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(exits.empty());
    release();
    ASSERT_TRUE(runUntil([&] { return !exits.empty(); }));
    EXPECT_EQ(exits, std::vector<int>{5});
}

TEST_F(QtProcessLauncherTest, AFloodOfOutputGoesStraightToTheLog)
{
    auto process = launch("flood");
    // The event loop keeps turning while the child writes; only then is it
    // allowed to finish.
    ASSERT_TRUE(runUntil([&] { return fs::file_size(root / "process.log") >= 20'000'000; }));
    release();
    ASSERT_TRUE(runUntil([&] { return !exits.empty(); }));
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(fs::file_size(root / "process.log"), 20'000'000u);
}

TEST_F(QtProcessLauncherTest, NoReportAfterTheHandleIsGoneAndTheChildIsNotKilled)
{
    auto process = launch("wait");
    ASSERT_TRUE(runUntil([&] { return log().find("waiting") != std::string::npos; }));
    (*process).reset();
    release();
    ASSERT_TRUE(runUntil([&] { return log().find("released") != std::string::npos; }));
    const pid_t pid = std::stoi(readFile(root / "pid.txt"));
    ASSERT_TRUE(runUntil([&] { return ::kill(pid, 0) != 0; })) << "the child is reaped";
    QCoreApplication::processEvents();
    EXPECT_TRUE(exits.empty());
}

TEST_F(QtProcessLauncherTest, LaunchFailureComesBackAtOnceWithTheSystemsText)
{
    fs::permissions(root / ".venv/bin/python", fs::perms::owner_exec, fs::perm_options::remove);
    auto notExecutable = launch("ok");
    EXPECT_FALSE(notExecutable);
    EXPECT_EQ(notExecutable.failure(),
              (root / ".venv/bin/python").string() + ": 没有权限（Permission denied）");

    fs::remove(root / ".venv/bin/python");
    auto missing = launch("ok");
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.failure(), (root / ".venv/bin/python").string() +
                                     ": 找不到这个文件或文件夹（No such file or directory）");
    QCoreApplication::processEvents();
    EXPECT_TRUE(exits.empty());
}

} // namespace
} // namespace tonfield::adapters
