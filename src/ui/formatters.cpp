#include "ui/formatters.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace tonfield::ui {

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
    static const std::map<std::string, std::string> labels{
        {"done", "已完成"},    {"error", "失败"},    {"cancelled", "已取消"},
        {"running", "处理中"}, {"queued", "排队中"},
    };
    auto it = labels.find(stored);
    return it == labels.end() ? stored : it->second;
}

} // namespace tonfield::ui
