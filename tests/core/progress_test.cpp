// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/progress.hpp"

#include <gtest/gtest.h>

namespace tonfield {
namespace {

TEST(Progress, ReadsThePercentageOfTheLastLine)
{
    const std::pair<const char*, std::optional<double>> cases[] = {
        {" 45%|████▌     | 9/20 [00:03<00:04,  2.6it/s]", 45},
        {"Separating: 45.0%", 45},
        {"[ 45%] segment 9 of 20", 45},
        {"模型就绪\n 10%|█ | 2/20\n 55%|█████▌| 11/20\n", 55},
        {"100%|██████████| 20/20", 100},
        {" 55%|█████▌| 11/20\n写入音轨…\n", std::nullopt}, // the last line has none
        {"模型就绪\n", std::nullopt},
        {"", std::nullopt},
        {"%|", std::nullopt},
        {"150% louder", std::nullopt},
        {"gain 3% then 60% done", 60},
        {"volume -20%", std::nullopt}, // a change, not progress
        {"volume -20% 45%|████", 45},
    };
    for (const auto& [tail, expected] : cases)
        EXPECT_EQ(progressPercent(tail), expected) << tail;
}

TEST(Progress, AModelDownloadIsToldByItsLastLine)
{
    EXPECT_TRUE(reportsModelDownload("引擎\n下载模型 45%（148 / 335 MB）"));
    EXPECT_TRUE(reportsModelDownload("下载模型 12 MB\n"));
    EXPECT_FALSE(reportsModelDownload("下载模型 100%（335 / 335 MB）\n模型就绪\n分离进度  3%"));
    EXPECT_FALSE(reportsModelDownload(""));
}

TEST(Progress, TheWholeQueueTakesAnAverageSongForEachWaitingOne)
{
    EXPECT_FALSE(queueSecondsLeft({.taken = 1}, 4, 20, std::nullopt)) << "nothing to go by yet";
    // None completed: the running song's projected length, 15 s run + 30 s left.
    EXPECT_DOUBLE_EQ(queueSecondsLeft({.taken = 1}, 2, 15, 30).value(), 30 + 2 * 45);
    const QueueRun twoDone{.taken = 3, .completed = 2, .completedSeconds = 200};
    EXPECT_DOUBLE_EQ(queueSecondsLeft(twoDone, 2, 10, 60).value(), 60 + 2 * 100);
    // Before the running song prints a percentage it is taken as an average
    // one, never as less than nothing.
    EXPECT_DOUBLE_EQ(queueSecondsLeft(twoDone, 2, 40, std::nullopt).value(), 60 + 2 * 100);
    EXPECT_DOUBLE_EQ(queueSecondsLeft(twoDone, 0, 130, std::nullopt).value(), 0);
}

} // namespace
} // namespace tonfield
