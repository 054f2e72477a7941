// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_library.hpp"

#include "model/progress.hpp"

#include "fakes/temp_folder.hpp"

#include <gtest/gtest.h>

namespace tonfield {
namespace {
namespace fs = std::filesystem;

TEST(JobLibrary, SearchIgnoresCaseAndLatinAccentsButNotOtherMarks)
{
    EXPECT_EQ(searchKey("Café Ölmühle"), searchKey("cafe OLMUHLE"));
    EXPECT_EQ(searchKey("Straße Łódź Søren"), "strasse lodz soren");
    EXPECT_EQ(searchKey("晴天.mp3"), "晴天.mp3");
    EXPECT_NE(searchKey("が"), searchKey("か")) << "a kana's voicing mark is not an accent";
    EXPECT_EQ(searchKey("bad\xFF"
                        "name"),
              "bad\xFF"
              "name")
        << "bytes that are not UTF-8 stay";
}

TEST(JobLibrary, FiltersByNameAndStatusWithTheQueueFirstInItsOrder)
{
    auto job = [](const char* name, const char* status, double created) {
        Job made;
        made.filename = name;
        made.status = status;
        made.created = created;
        return made;
    };
    // Newest first, as the history holds them.
    const std::vector<Job> jobs{
        job("Été.flac", "queued", 30),     job("Winter.mp3", "done", 25),
        job("ete live.wav", "queued", 20), job("Sommer.wav", "error", 10),
        job("ÉTÉ demo.wav", "done", 5),
    };
    const JobLibrary library(jobs);
    using Rows = std::vector<std::size_t>;
    EXPECT_EQ(library.rows({}), (Rows{2, 0, 1, 3, 4})) << "queued oldest first, then the rest";
    EXPECT_EQ(library.rows({"ete", ""}), (Rows{2, 0, 4}));
    EXPECT_EQ(library.rows({"ETE", "done"}), (Rows{4}));
    EXPECT_EQ(library.rows({"", "error"}), (Rows{3}));
    EXPECT_EQ(library.rows({"nothing", ""}), Rows{});
}

TEST(JobLibrary, FolderBytesCountRegularFilesOnlyOnce)
{
    test::TempFolder temp;
    test::writeFile(temp / "job/input/song.wav", std::string(1000, 'a'));
    test::writeFile(temp / "job/output/a.wav", std::string(300, 'b'));
    test::writeFile(temp / "job/job.json", std::string(20, '{'));
    test::writeFile(temp / "elsewhere/big", std::string(5000, 'c'));
    fs::create_symlink(temp / "elsewhere/big", temp / "job/output/link");
    fs::create_directory_symlink(temp / "elsewhere", temp / "job/linked");
    EXPECT_EQ(folderBytes(temp / "job"), 1320u);
    EXPECT_EQ(folderBytes(temp / "missing"), 0u);
}

TEST(RemainingTime, FollowsTheRateSinceTheFirstPercentage)
{
    RemainingTime remaining;
    EXPECT_FALSE(remaining.secondsLeft(0));
    remaining.observe(30, 10); // 30 s of model loading printed nothing
    EXPECT_FALSE(remaining.secondsLeft(31)) << "one reading gives no rate";
    remaining.observe(40, 10);
    remaining.observe(50, 30); // 20 points in 20 s: 70 left take 70 s
    EXPECT_DOUBLE_EQ(*remaining.secondsLeft(50), 70);
    EXPECT_DOUBLE_EQ(*remaining.secondsLeft(60), 60) << "counts down between readings";
    EXPECT_DOUBLE_EQ(*remaining.secondsLeft(500), 0);
    remaining.observe(100, 5); // a second pass starts over
    EXPECT_FALSE(remaining.secondsLeft(100));
    remaining.observe(110, 15);
    EXPECT_DOUBLE_EQ(*remaining.secondsLeft(110), 85);
}

} // namespace
} // namespace tonfield
