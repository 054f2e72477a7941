// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_library.hpp"

#include "model/job_values.hpp"

#include <utf8proc.h>

#include <algorithm>
#include <numeric>

namespace tonfield {
namespace fs = std::filesystem;
namespace {

bool isLatin(utf8proc_int32_t c)
{
    return c < 0x250 || (c >= 0x1E00 && c < 0x1F00);
}

// Latin letters whose stroke is not a combining mark, so decomposition leaves them.
utf8proc_int32_t strippedStroke(utf8proc_int32_t c)
{
    switch (c) {
    case 0xF8:
        return 'o'; // ø
    case 0x142:
        return 'l'; // ł
    case 0x111:
        return 'd'; // đ
    case 0x127:
        return 'h'; // ħ
    default:
        return c;
    }
}

} // namespace

std::string searchKey(std::string_view name)
{
    const auto options = static_cast<utf8proc_option_t>(UTF8PROC_DECOMPOSE | UTF8PROC_CASEFOLD);
    std::vector<utf8proc_int32_t> points(name.size() * 3 + 1);
    const auto count = utf8proc_decompose(reinterpret_cast<const utf8proc_uint8_t*>(name.data()),
                                          static_cast<utf8proc_ssize_t>(name.size()), points.data(),
                                          static_cast<utf8proc_ssize_t>(points.size()), options);
    if (count < 0) // not UTF-8: compare the bytes as they are
        return std::string(name);
    std::string key;
    key.reserve(name.size());
    bool afterLatin = false;
    for (utf8proc_ssize_t i = 0; i < count; ++i) {
        const utf8proc_int32_t c = points[static_cast<std::size_t>(i)];
        const bool mark = utf8proc_category(c) == UTF8PROC_CATEGORY_MN;
        if (mark && afterLatin)
            continue;
        if (!mark)
            afterLatin = isLatin(c);
        utf8proc_uint8_t bytes[4];
        const auto length = utf8proc_encode_char(strippedStroke(c), bytes);
        key.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    }
    return key;
}

JobLibrary::JobLibrary(const std::vector<Job>& jobs)
{
    entries_.reserve(jobs.size());
    for (const Job& job : jobs)
        entries_.push_back({job.filename, job.status, job.created});
}

std::vector<std::size_t> JobLibrary::rows(const LibraryFilter& filter) const
{
    const std::string wanted = searchKey(filter.text);
    if (!wanted.empty() && keys_.size() != entries_.size()) {
        keys_.reserve(entries_.size());
        for (const Entry& entry : entries_)
            keys_.push_back(searchKey(entry.filename));
    }
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_[i];
        if ((filter.status.empty() || entry.status == filter.status) &&
            (wanted.empty() || keys_[i].find(wanted) != std::string::npos))
            shown.push_back(i);
    }
    const auto firstDone = std::stable_partition(shown.begin(), shown.end(), [&](std::size_t i) {
        return entries_[i].status == job_status::queued;
    });
    std::stable_sort(shown.begin(), firstDone, [&](std::size_t a, std::size_t b) {
        return entries_[a].created < entries_[b].created;
    });
    return shown;
}

std::uint64_t folderBytes(const fs::path& folder)
{
    std::uint64_t total = 0;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError) && !it->is_symlink(sizeError)) {
            const auto size = it->file_size(sizeError);
            if (!sizeError)
                total += size;
        }
    }
    return total;
}

std::uint64_t DiskUsage::totalBytes() const
{
    return std::accumulate(jobBytes.begin(), jobBytes.end(), std::uint64_t{0},
                           [](std::uint64_t sum, const auto& entry) { return sum + entry.second; });
}

} // namespace tonfield
