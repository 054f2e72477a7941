// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job.hpp"
#include "model/result.hpp"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tonfield {

// Every readable record under engineRoot/data/jobs, newest first; equal
// `created` keeps the folder listing's order. Entries that cannot be read or
// decoded, or whose id is not their folder's name, are left out silently.
std::vector<Job> readHistory(const std::filesystem::path& engineRoot);

// Reads the history as readHistory does, again and again, decoding only the
// records that changed since its last read: decoding is most of a read, and
// a long queue re-reads a history of thousands at every step. A record is
// known by its file's identity (device, inode, size, change and modification
// times); a record is always replaced by a rename, which changes it.
class HistoryReader {
public:
    std::vector<Job> read(const std::filesystem::path& engineRoot);

private:
    struct Known {
        std::array<std::int64_t, 7> identity;
        std::optional<Job> job; // absent for a record that cannot be decoded
    };
    std::filesystem::path root_;
    std::unordered_map<std::string, Known> known_; // by folder name
};

// Replaces the job's job.json atomically: a reader sees the old record or the
// new one, never a mix. The job folder must exist. Returns the operating
// system's description of the failure, or nothing on success.
Result<> writeRecord(const std::filesystem::path& engineRoot, const Job& job);

// Replaces a small file of a job's folder as writeRecord does: whole or not at all.
// Both refuse a job folder that is a symbolic link, and write nothing.
Result<> replaceFile(const std::filesystem::path& target, std::string_view bytes);

// A small file of a job's folder (4 MB at most), read only if it is a regular
// file; absent when it cannot be read.
std::optional<std::string> readSmallFile(const std::filesystem::path& path);

} // namespace tonfield
