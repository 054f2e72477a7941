// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/log_tail.hpp"
#include "model/utf8.hpp"

#include "fakes/workbench_fixture.hpp"

namespace tonfield {
namespace {

class WorkbenchMonitoring : public test::WorkbenchFixture {
protected:
    void writeLog(const std::string& text) { test::writeFile(jobFile("process.log"), text); }
};

TEST_F(WorkbenchMonitoring, TickFollowsTheClockAndTheLogOnlyWhileBusy)
{
    platform.timers.fireAll();
    EXPECT_TRUE(changes.empty()) << "idle without a player: a tick changes nothing";

    startJob();
    platform.clock.now += 12.75;
    writeLog("loading\r10%\r20%\r\n");
    platform.timers.fireAll();
    EXPECT_DOUBLE_EQ(workbench->elapsed(), 12.75);
    EXPECT_EQ(workbench->log(), "loading\n10%\n20%\n\n");
    EXPECT_EQ(workbench->message(), "正在加载模型，首次使用需要下载权重。");

    writeLog("Starting separation process\n");
    platform.timers.fireAll();
    EXPECT_EQ(workbench->message(), "模型已就绪，正在分离音轨…");

    workbench->cancel();
    platform.timers.fireAll();
    EXPECT_EQ(workbench->message(), "模型已就绪，正在分离音轨…")
        << "still busy until the engine exits, so the marker counts again";

    platform.launcher.exit(143);
    const std::string ended = workbench->message();
    platform.clock.now += 100;
    writeLog("later text 模型就绪");
    changes.clear();
    platform.timers.fireAll();
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(workbench->message(), ended);
}

TEST_F(WorkbenchMonitoring, AModelDownloadShowsItsShareButNoTimeLeft)
{
    startJob();
    writeLog("下载模型 10%（33 / 335 MB）");
    platform.timers.fireAll();
    platform.clock.now += 10;
    writeLog("下载模型 10%（33 / 335 MB）\r下载模型 20%（67 / 335 MB）");
    platform.timers.fireAll();
    EXPECT_EQ(workbench->message(), "正在下载模型权重（仅首次使用）…");
    EXPECT_EQ(workbench->progress(), 20.0);
    EXPECT_FALSE(workbench->timeLeft()) << "a download's pace says nothing of the separation's";

    writeLog("下载模型 100%（335 / 335 MB）\n模型就绪\n分离进度  10%");
    platform.clock.now += 10;
    platform.timers.fireAll();
    EXPECT_EQ(workbench->message(), "模型已就绪，正在分离音轨…");
    writeLog("下载模型 100%（335 / 335 MB）\n模型就绪\n分离进度  10%\r分离进度  40%");
    platform.clock.now += 15;
    platform.timers.fireAll();
    EXPECT_DOUBLE_EQ(workbench->timeLeft().value(), 30.0) << "30 points took 15 s";
}

TEST_F(WorkbenchMonitoring, OnlyTheLastWindowOfTheLogIsShown)
{
    startJob();
    const std::size_t window = Workbench::logWindowBytes;

    writeLog(std::string(window, 'a'));
    workbench->readLog();
    EXPECT_EQ(workbench->log().size(), window) << "exactly one window is shown whole";

    // A marker scrolls out of the window: the status line keeps what it held.
    writeLog("模型就绪" + std::string(window - 12, 'b'));
    platform.timers.fireAll();
    EXPECT_EQ(workbench->message(), "模型已就绪，正在分离音轨…");
    workbench->cancel();
    writeLog("模型就绪" + std::string(window, 'b'));
    platform.timers.fireAll();
    EXPECT_EQ(workbench->log(), std::string(window, 'b'));
    EXPECT_EQ(workbench->message(), "正在取消，等待引擎退出…");

    // "就" is three bytes; a window starting inside it shows replacement characters.
    writeLog("就" + std::string(window - 2, 'c'));
    workbench->readLog();
    EXPECT_EQ(workbench->log(), "\xEF\xBF\xBD\xEF\xBF\xBD" + std::string(window - 2, 'c'));

    std::filesystem::remove(jobFile("process.log"));
    workbench->readLog();
    EXPECT_EQ(workbench->log(), "");
}

TEST(LogTail, RepairsInvalidUtf8)
{
    EXPECT_EQ(repairUtf8("ok \xE6\x99\xB4"), "ok \xE6\x99\xB4");
    EXPECT_EQ(repairUtf8("\xFF"
                         "a\xC0\xAF"
                         "b\xED\xA0\x80"),
              "\xEF\xBF\xBD"
              "a\xEF\xBF\xBD\xEF\xBF\xBD"
              "b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    // A cut sequence is one maximal subpart, whatever follows it.
    EXPECT_EQ(repairUtf8("end\xE6\x99"), "end\xEF\xBF\xBD");
    EXPECT_EQ(repairUtf8("ab\xE4\xB8"
                         "Acd"),
              "ab\xEF\xBF\xBD"
              "Acd");
    EXPECT_EQ(repairUtf8("\xF0\x9F\x98"
                         "\xF4\x90\x80\x80"),
              "\xEF\xBF\xBD"
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

} // namespace
} // namespace tonfield
