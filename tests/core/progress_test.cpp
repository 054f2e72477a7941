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

} // namespace
} // namespace tonfield
