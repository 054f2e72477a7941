#include "model/display_text.hpp"

#include <gtest/gtest.h>

namespace tonfield {
namespace {

TEST(DisplayText, TimesAndStatuses)
{
    EXPECT_EQ(display::time(0), "00:00");
    EXPECT_EQ(display::time(83.9), "01:23");
    EXPECT_EQ(display::time(3725), "62:05");
    EXPECT_EQ(display::time(-4), "00:00");
    const std::pair<const char*, const char*> labels[] = {
        {"done", "已完成"},   {"error", "失败"}, {"cancelled", "已取消"}, {"running", "处理中"},
        {"queued", "排队中"}, {"Done", "Done"},  {"paused", "paused"},    {"", ""},
    };
    for (auto [stored, label] : labels)
        EXPECT_EQ(display::status(stored), label) << stored;
}

} // namespace
} // namespace tonfield
