// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/failure_text.hpp"
#include "model/percent_encoding.hpp"

#include "adapters/qt_adapters.hpp"

#include <QStandardPaths>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tonfield::adapters {
namespace {
namespace fs = std::filesystem;

// Names tried for one entry before giving up: "song", "song.2", … A trash
// that refuses them all is reported, never retried for ever.
constexpr int maxNames = 1000;

std::optional<struct stat> linkStatus(const fs::path& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return std::nullopt;
    return info;
}

// The device of a path, or of the nearest folder above it that exists.
std::optional<dev_t> deviceOf(fs::path path)
{
    for (;;) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0)
            return info.st_dev;
        if (!path.has_relative_path())
            return std::nullopt;
        path = path.parent_path();
    }
}

// The top of the mount that holds the entry: the highest folder above it on
// the same device.
fs::path topOfMount(const fs::path& entry, dev_t device)
{
    fs::path top = entry.parent_path();
    while (top.has_relative_path()) {
        struct stat info {};
        if (::stat(top.parent_path().c_str(), &info) != 0 || info.st_dev != device)
            break;
        top = top.parent_path();
    }
    return top;
}

// A trash folder that exists as a real folder (not a link) this user may
// write, or can be made as one; made when `make` is true.
bool usableFolder(const fs::path& folder, bool make)
{
    if (auto info = linkStatus(folder))
        return S_ISDIR(info->st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
    if (!make) {
        fs::path above = folder.parent_path();
        while (!linkStatus(above) && above.has_relative_path())
            above = above.parent_path();
        auto info = linkStatus(above);
        return info && S_ISDIR(info->st_mode) && ::access(above.c_str(), W_OK | X_OK) == 0;
    }
    std::error_code ec;
    fs::create_directories(folder.parent_path(), ec);
    return ::mkdir(folder.c_str(), 0700) == 0 && usableFolder(folder, false);
}

std::string deletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

std::error_code writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return lastError();
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

} // namespace

// The trash freedesktop.org's trash standard assigns to an entry:
// the home trash when the entry is on the home trash's device (an entry is
// moved by renaming, which never crosses devices), else at the top of the
// entry's own mount "$top/.Trash/$uid" (when ".Trash" is a real folder with
// the sticky bit) or "$top/.Trash-$uid".
std::optional<FreedesktopTrash::Place> FreedesktopTrash::placeFor(const fs::path& entry,
                                                                  bool make) const
{
    auto info = linkStatus(entry);
    if (!info)
        return std::nullopt;
    const fs::path home =
        toPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)) / "Trash";
    std::optional<Place> place;
    if (deviceOf(home) == info->st_dev) {
        place = Place{.folder = home, .top = {}};
    } else {
        const fs::path top = topOfMount(entry, info->st_dev);
        const std::string uid = std::to_string(::getuid());
        auto shared = linkStatus(top / ".Trash");
        if (shared && S_ISDIR(shared->st_mode) && (shared->st_mode & S_ISVTX) &&
            usableFolder(top / ".Trash" / uid, make))
            place = Place{.folder = top / ".Trash" / uid, .top = top};
        else
            place = Place{.folder = top / (".Trash-" + uid), .top = top};
    }
    if (!usableFolder(place->folder, make) || !usableFolder(place->folder / "files", make) ||
        !usableFolder(place->folder / "info", make))
        return std::nullopt;
    return place;
}

bool FreedesktopTrash::available(const fs::path& path)
{
    return placeFor(fs::absolute(path), false).has_value();
}

// The entry's name in the trash is claimed by creating its ".trashinfo"
// exclusively (the
// standard's way of keeping two programs apart), then the entry is
// renamed into files/. Only a name already taken moves on to the next one.
Result<> FreedesktopTrash::moveToTrash(const fs::path& path, const std::string& shownName)
{
    std::error_code ec;
    const fs::path entry = fs::absolute(path, ec).lexically_normal();
    if (ec || !linkStatus(entry))
        return Result<>::failed(failureText(path, ec ? ec : lastError()));
    const auto place = placeFor(entry, true);
    if (!place)
        return Result<>::failed(path.string() + ": no trash folder can be used for it");

    // A name of one component only: it becomes a file name in files/ and info/.
    const std::string name = shownName.empty() || fs::path(shownName).filename() != shownName ||
                                     shownName == ".." || shownName == "."
                                 ? entry.filename().string()
                                 : shownName;
    // Where a restore puts it: beside where it was, under the name it is listed by.
    const fs::path restored = entry.parent_path() / name;
    const std::string original =
        (place->top.empty() ? restored : restored.lexically_relative(place->top)).string();
    const std::string record = "[Trash Info]\nPath=" + percentEncodePath(original) +
                               "\nDeletionDate=" + deletionDate() + "\n";
    for (int attempt = 1; attempt <= maxNames; ++attempt) {
        const std::string candidate = attempt == 1 ? name : name + "." + std::to_string(attempt);
        const fs::path info = place->folder / "info" / (candidate + ".trashinfo");
        const fs::path landed = place->folder / "files" / candidate;
        const int fd =
            ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return Result<>::failed(failureText(info, lastError()));
        std::error_code failure = writeAll(fd, record);
        if (!failure && ::fsync(fd) != 0)
            failure = lastError();
        if (::close(fd) != 0 && !failure)
            failure = lastError();
        if (!failure && linkStatus(landed)) { // taken without its record
            ::unlink(info.c_str());
            continue;
        }
        if (!failure && ::rename(entry.c_str(), landed.c_str()) != 0)
            failure = lastError();
        if (failure) {
            ::unlink(info.c_str());
            return Result<>::failed(failureText(path, failure));
        }
        return Result<>::done();
    }
    return Result<>::failed(path.string() + ": the trash has no free name for it");
}

} // namespace tonfield::adapters
