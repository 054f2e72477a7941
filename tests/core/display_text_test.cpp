// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/display_text.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

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

// Runs of one song in different modes and formats must read differently;
// what a damaged record holds instead is left out, never shown raw.
TEST(DisplayText, AJobReadsAsItsModeAndFormat)
{
    Job job;
    job.mode = "four";
    job.format = "FLAC";
    EXPECT_EQ(display::jobSummary(job), "四轨 · FLAC");
    job.mode = "vocal";
    job.format = "MP3";
    EXPECT_EQ(display::jobSummary(job), "人声 / 伴奏 · MP3");
    job.mode = "six";
    job.format = std::string(5000, 'x');
    EXPECT_EQ(display::jobSummary(job), "六轨");
    job.mode = "eight";
    job.format = "WAV";
    EXPECT_EQ(display::jobSummary(job), "WAV");
    job.format = "wav";
    EXPECT_EQ(display::jobSummary(job), "");
}

// In the trash a job is its song, as run, when; a stored name never makes
// it a path, and a long one is cut on a character, the tail kept.
TEST(DisplayText, ATrashedJobIsNamedAfterItsSong)
{
    const char* zone = std::getenv("TZ");
    const std::string savedZone = zone ? zone : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    Job job;
    job.id = "c0ffee01000040008000000000000001";
    job.filename = "晴天.wav";
    job.mode = "vocal";
    job.format = "FLAC";
    job.created = 1'796'684'400; // 2026-12-07 23:00 UTC
    EXPECT_EQ(display::trashName(job), "晴天 · 人声 ／ 伴奏 · FLAC · 2026-12-07 23.00");
    job.filename = "../../etc/passwd.mp3";
    EXPECT_EQ(display::trashName(job).find('/'), std::string::npos);
    job.filename = "..";
    EXPECT_EQ(display::trashName(job), job.id);
    job.created = 1e300; // a damaged record
    job.mode = "?";
    job.filename = std::string(300, 'x') + "长.wav";
    EXPECT_EQ(display::trashName(job), std::string(231, 'x') + " · FLAC") << "239 bytes";
    job.filename = std::string(229, 'x') + "长长.wav"; // byte 231 is inside the first 长
    EXPECT_EQ(display::trashName(job), std::string(229, 'x') + " · FLAC");
    savedZone.empty() ? ::unsetenv("TZ") : ::setenv("TZ", savedZone.c_str(), 1);
    ::tzset();
}

TEST(DisplayText, SizesAndTheDeletionQuestion)
{
    const std::pair<std::uint64_t, const char*> sizes[] = {
        {0, "0 B"},
        {999, "999 B"},
        {1000, "1.0 KB"},
        {1234, "1.2 KB"},
        {99'949, "99.9 KB"},
        {250'000'000, "250 MB"},
        {999'960, "1.0 MB"},
        {3'400'000'000, "3.4 GB"},
        {UINT64_MAX, "18.4 EB"},
    };
    for (auto [count, text] : sizes)
        EXPECT_EQ(display::bytes(count), text) << count;

    DeletionPlan plan{.ids = {"a"}, .names = {"晴天.mp3"}, .bytes = 250'000'000};
    auto text = display::deletionQuestion(plan);
    EXPECT_EQ(text.question, "删除 “晴天.mp3” 的处理记录？");
    EXPECT_EQ(text.detail,
              "输入副本、分离出的音轨和日志将一并删除，释放 250 MB。文件会移到回收站。");
    plan.ids = {"a", "b", "c"};
    plan.names = {"晴天.mp3", "b", "c"};
    plan.toTrash = false;
    plan.skipsRunning = true;
    text = display::deletionQuestion(plan);
    EXPECT_EQ(text.question, "删除 “晴天.mp3” 和另外 2 条处理记录？");
    EXPECT_NE(text.detail.find("永久删除"), std::string::npos);
    EXPECT_NE(text.detail.find("正在处理的任务不会删除"), std::string::npos);
}

} // namespace
} // namespace tonfield
