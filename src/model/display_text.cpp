// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/display_text.hpp"

#include "model/job_values.hpp"
#include "model/output_format.hpp"
#include "model/separation_mode.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>

namespace tonfield::display {

std::string time(double seconds)
{
    const double whole = std::isfinite(seconds) ? std::trunc(seconds) : 0;
    const long long total = whole < 0 ? 0 : static_cast<long long>(std::min(whole, 1e15));
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", total / 60, total % 60);
    return text;
}

const char* modeTitle(SeparationMode mode)
{
    switch (mode) {
    case SeparationMode::vocal:
        return "人声 / 伴奏";
    case SeparationMode::four:
        return "四轨分离";
    case SeparationMode::six:
        return "六轨分离";
    }
    return "";
}

std::string status(const std::string& stored)
{
    static const std::map<std::string_view, std::string, std::less<>> labels{
        {job_status::done, "已完成"},      {job_status::error, "失败"},
        {job_status::cancelled, "已取消"}, {job_status::running, "处理中"},
        {job_status::queued, "排队中"},
    };
    auto it = labels.find(stored);
    return it == labels.end() ? stored : it->second;
}

std::string jobSummary(const Job& job)
{
    std::string summary;
    if (const auto mode = separationModeFromRaw(job.mode)) {
        switch (*mode) {
        case SeparationMode::vocal:
            summary = "人声 / 伴奏";
            break;
        case SeparationMode::four:
            summary = "四轨";
            break;
        case SeparationMode::six:
            summary = "六轨";
            break;
        }
    }
    if (outputFormatFromRaw(job.format))
        summary += (summary.empty() ? "" : " · ") + job.format;
    return summary;
}

std::string queueLine(const QueueRun& run, std::size_t waiting, const std::string& runningName,
                      std::optional<double> secondsLeft)
{
    std::string line;
    if (run.taken == 0) {
        line = "队列中还有 " + std::to_string(waiting) + " 首等待分轨";
    } else {
        line = "队列第 " + std::to_string(run.taken) + " 首，共 " +
               std::to_string(run.taken + waiting) + " 首：" + runningName;
    }
    if (secondsLeft)
        line += " · 全部预计剩余 " + time(*secondsLeft);
    return line;
}

std::string bytes(std::uint64_t count)
{
    if (count < 1000)
        return std::to_string(count) + " B";
    const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(count);
    std::size_t unit = 0;
    for (value /= 1000; value >= 999.95 && unit + 1 < std::size(units); value /= 1000)
        ++unit;
    char text[32];
    std::snprintf(text, sizeof text, value < 99.95 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

Confirmation deletionQuestion(const DeletionPlan& plan)
{
    Confirmation text;
    const std::size_t count = plan.ids.size();
    const std::string first = count ? "“" + plan.names.front() + "”" : std::string();
    text.question =
        count == 1   ? "删除 " + first + " 的处理记录？"
        : count == 2 ? "删除 " + first + " 和另外 1 条处理记录？"
                     : "删除 " + first + " 和另外 " + std::to_string(count - 1) + " 条处理记录？";
    text.detail = "输入副本、分离出的音轨和日志将一并删除，释放 " + bytes(plan.bytes) + "。";
    text.detail += plan.toTrash ? "文件会移到回收站。" : "此处无法使用回收站，文件将被永久删除。";
    if (plan.skipsRunning)
        text.detail += "正在处理的任务不会删除。";
    return text;
}

std::string trashName(const Job& job)
{
    std::string song = std::filesystem::path(job.filename).stem().string();
    if (song.find_first_not_of('.') == std::string::npos) // "", ".", "..": no name of its own
        return job.id;
    std::string tail;
    if (const std::string summary = jobSummary(job); !summary.empty())
        tail += " · " + summary;
    if (hasCalendarDate(job.created)) {
        const std::time_t when = static_cast<std::time_t>(job.created);
        std::tm local{};
        char date[32];
        if (::localtime_r(&when, &local) &&
            std::strftime(date, sizeof date, "%Y-%m-%d %H.%M", &local) > 0)
            tail += std::string(" · ") + date;
    }
    // One name, never a path: "人声 / 伴奏" reads the same with a full-width slash.
    auto plain = [](const std::string& text) {
        std::string out;
        for (const char c : text)
            out += c == '/' ? std::string("／") : c == '\0' ? std::string("_") : std::string(1, c);
        return out;
    };
    song = plain(song);
    tail = plain(tail);
    // Room for the trash's ".2" and ".trashinfo" besides the name.
    constexpr std::size_t longest = 255 - 16;
    if (song.size() + tail.size() > longest) {
        std::size_t cut = longest > tail.size() ? longest - tail.size() : 0;
        while (cut > 0 && (static_cast<unsigned char>(song[cut]) & 0xC0) == 0x80)
            --cut; // not inside a character
        song.resize(cut);
    }
    return song.empty() ? job.id : song + tail;
}

bool hasCalendarDate(double secondsSince1970)
{
    constexpr double lastSecond = 253402300799.0; // 9999-12-31 23:59:59 UTC
    return std::abs(secondsSince1970) <= lastSecond;
}

} // namespace tonfield::display
