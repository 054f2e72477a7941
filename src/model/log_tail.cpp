#include "model/log_tail.hpp"

#include <utf8proc.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tonfield {

std::string repairUtf8(std::string_view bytes)
{
    static constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string text;
    text.reserve(bytes.size());
    const auto* data = reinterpret_cast<const utf8proc_uint8_t*>(bytes.data());
    std::size_t at = 0;
    while (at < bytes.size()) {
        utf8proc_int32_t codepoint;
        const auto length = utf8proc_iterate(
            data + at, static_cast<utf8proc_ssize_t>(bytes.size() - at), &codepoint);
        if (length > 0) {
            text.append(bytes.substr(at, static_cast<std::size_t>(length)));
            at += static_cast<std::size_t>(length);
        } else {
            text.append(replacement);
            ++at;
        }
    }
    return text;
}

std::string readLogTail(const std::filesystem::path& logFile, std::size_t windowBytes)
{
    const int fd = ::open(logFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
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
    ::close(fd);
    bytes.resize(filled);

    std::string text = repairUtf8(bytes);
    std::replace(text.begin(), text.end(), '\r', '\n');
    return text;
}

} // namespace tonfield
