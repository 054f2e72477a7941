#include "model/file_copy.hpp"

#include "model/failure_text.hpp"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace tonfield {
namespace fs = std::filesystem;

namespace {

const fs::path& pathOfCopyFailure(const fs::path& source, const fs::path& destination)
{
    return std::ifstream(source, std::ios::binary).is_open() ? destination : source;
}

} // namespace

std::optional<std::string> copyFile(const fs::path& source, const fs::path& destination)
{
    std::error_code ec;
    fs::copy_file(source, destination, ec);
    if (ec)
        return failureText(pathOfCopyFailure(source, destination), ec);
    return std::nullopt;
}

std::optional<std::string> replaceWithCopy(const fs::path& source, const fs::path& destination)
{
    std::error_code ec;
    if (fs::is_directory(destination, ec))
        return failureText(destination, std::make_error_code(std::errc::is_a_directory));

    static std::atomic<unsigned> counter{0};
    const fs::path temporary = destination.parent_path() / ("." + destination.filename().string() +
                                                            "." + std::to_string(::getpid()) + "." +
                                                            std::to_string(counter++) + ".part");
    if (auto failure = copyFile(source, temporary)) {
        fs::remove(temporary, ec);
        return failure;
    }
    fs::rename(temporary, destination, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return failureText(destination, ec);
    }
    return std::nullopt;
}

} // namespace tonfield
