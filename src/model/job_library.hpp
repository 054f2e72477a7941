// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The history as a library: finding jobs, the space they take, what deleting
// them removes.
namespace tonfield {

// A name as search compares it: case folded, and Latin letters without their
// accents ("Café Ölmühle" and "cafe olmuhle" compare equal). Marks on other
// scripts are kept: か and が stay different.
std::string searchKey(std::string_view name);

struct LibraryFilter {
    std::string text;   // matched anywhere in the file name; empty matches all
    std::string status; // a stored status; empty for every status
};

// The jobs with their search keys worked out once, at the first search, so
// that filtering at every keystroke only compares and a start with a long
// history does not pay for keys nobody searches. One thread only.
class JobLibrary {
public:
    explicit JobLibrary(const std::vector<Job>& jobs);
    // Indices into the jobs given, of those the filter lets through: queued
    // jobs first in the order they will run, then the rest in the order given.
    std::vector<std::size_t> rows(const LibraryFilter& filter) const;

private:
    struct Entry {
        std::string filename;
        std::string status;
        double created;
    };
    std::vector<Entry> entries_;
    mutable std::vector<std::string> keys_; // empty until the first search
};

// The bytes of the regular files under a folder, symbolic links not followed;
// what cannot be read counts as nothing.
std::uint64_t folderBytes(const std::filesystem::path& folder);

struct DiskUsage {
    std::map<std::string, std::uint64_t> jobBytes; // by job id, as far as measured
    std::optional<std::uint64_t> freeBytes;        // on the engine folder's disk

    std::uint64_t totalBytes() const;
    bool operator==(const DiskUsage&) const = default;
};

// What deleting a set of jobs would do, for the confirmation.
struct DeletionPlan {
    std::vector<std::string> ids;   // the jobs that would go
    std::vector<std::string> names; // their file names, in the same order
    std::uint64_t bytes = 0;        // as far as measured
    bool toTrash = true;            // false: deleted for good
    bool skipsRunning = false;      // the running job was asked for and stays
};

} // namespace tonfield
