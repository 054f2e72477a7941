#include "model/display_text.hpp"

#include "model/job_values.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

bool hasCalendarDate(double secondsSince1970)
{
    constexpr double lastSecond = 253402300799.0; // 9999-12-31 23:59:59 UTC
    return std::abs(secondsSince1970) <= lastSecond;
}

} // namespace tonfield::display
