// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/file_copy.hpp"

#include "model/atomic_file.hpp"
#include "model/failure_text.hpp"
#include "model/regular_file.hpp"

#include <cerrno>
#include <string_view>
#include <unistd.h>

namespace tonfield {
namespace fs = std::filesystem;

namespace {

Result<> copyThroughTemporary(const fs::path& source, const fs::path& destination,
                              Existing existing, Links links)
{
    auto input = RegularFile::open(source, links);
    if (!input)
        return Result<>::failed(input.failure());
    // A private file (0600) stays private in its copy.
    auto output = TemporaryFile::beside(destination, existing, input->permissions() & 0644);
    if (!output)
        return Result<>::failed(output.failure());

    char buffer[256 * 1024];
    for (;;) {
        const ssize_t count = ::read(input->descriptor(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return Result<>::failed(failureText(source, lastError()));
        if (count == 0)
            break;
        if (auto failure = output->write(std::string_view(buffer, static_cast<std::size_t>(count))))
            return Result<>::failed(failureText(destination, failure));
    }
    return output->commit(existing);
}

} // namespace

Result<> copyFile(const fs::path& source, const fs::path& destination, Links links)
{
    return copyThroughTemporary(source, destination, Existing::refuse, links);
}

Result<> replaceWithCopy(const fs::path& source, const fs::path& destination, Links links)
{
    return copyThroughTemporary(source, destination, Existing::replace, links);
}

} // namespace tonfield
