// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/log_tail.hpp"

#include "model/regular_file.hpp"
#include "model/utf8.hpp"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace tonfield {

std::string readLogTail(const std::filesystem::path& logFile, std::size_t windowBytes)
{
    const auto file = RegularFile::open(logFile);
    if (!file)
        return {};
    const int fd = (*file).descriptor();
    off_t length = ::lseek(fd, 0, SEEK_END);
    if (length < 0)
        length = 0;
    const off_t window = static_cast<off_t>(windowBytes);
    ::lseek(fd, length < window ? 0 : length - window, SEEK_SET);

    // Reads until the end as it is now; a log still being written may have
    // grown past `length`, but never by more than this one window's worth.
    std::string bytes(windowBytes, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            filled = 0; // a failed read yields no bytes
            break;
        }
        if (count == 0)
            break;
        filled += static_cast<std::size_t>(count);
    }
    bytes.resize(filled);

    std::string text = repairUtf8(bytes);
    std::replace(text.begin(), text.end(), '\r', '\n');
    return text;
}

std::string_view lastLogLine(std::string_view logText)
{
    // Spaces and tabs at a line's end, and lines of nothing else, say nothing.
    while (!logText.empty() &&
           (logText.back() == '\n' || logText.back() == ' ' || logText.back() == '\t'))
        logText.remove_suffix(1);
    const auto start = logText.find_last_of('\n');
    return start == std::string_view::npos ? logText : logText.substr(start + 1);
}

} // namespace tonfield
