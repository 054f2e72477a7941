// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/percent_encoding.hpp"

#include "adapters/event_loop.hpp"
#include "adapters/qt_adapters.hpp"
#include "fakes/temp_folder.hpp"

#include <QDir>

#include <gtest/gtest.h>

#include <thread>

namespace tonfield {
namespace {
namespace fs = std::filesystem;

// A home and a data folder of the test's own, the data folder not made yet
// (as for a new user), and a working directory that must stay empty.
class TrashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = {qgetenv("HOME"), qgetenv("XDG_DATA_HOME")};
        qputenv("HOME", QByteArray::fromStdString((temp / "home").string()));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((temp / "home/new/data").string()));
        fs::create_directories(temp / "home");
        fs::create_directories(temp / "cwd");
        savedDirectory_ = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString((temp / "cwd").string()));
    }
    void TearDown() override
    {
        QDir::setCurrent(savedDirectory_);
        qputenv("HOME", saved_.first);
        qputenv("XDG_DATA_HOME", saved_.second);
    }
    fs::path job(const std::string& id)
    {
        const fs::path folder = temp / "Engine/data/jobs" / id;
        test::writeFile(folder / "input/song.mp3", "audio");
        test::writeFile(folder / "job.json", "{}");
        return folder;
    }

    test::TempFolder temp;
    adapters::FreedesktopTrash trash;

private:
    std::pair<QByteArray, QByteArray> saved_;
    QString savedDirectory_;
};

TEST_F(TrashTest, AJobFolderLandsInTheHomeTrashMadeForIt)
{
    const fs::path folder = job("c0ffee01000040008000000000000001");
    ASSERT_TRUE(trash.available(folder));
    const auto moved = trash.moveToTrash(folder, "");
    ASSERT_TRUE(moved) << moved.failure();
    EXPECT_FALSE(fs::exists(folder));
    const fs::path trashed = temp / "home/new/data/Trash/files/c0ffee01000040008000000000000001";
    EXPECT_EQ(test::readFile(trashed / "input/song.mp3"), "audio");
    EXPECT_TRUE(fs::exists(temp / "home/new/data/Trash/info/c0ffee01000040008000000000000001"
                                  ".trashinfo"));
    EXPECT_TRUE(fs::is_empty(temp / "cwd")) << "nothing lands beside the working directory";
}

TEST_F(TrashTest, WhereNoTrashCanBeMadeTheFolderStaysAndTheFailureIsNamed)
{
    // The data folder is a file: no trash can be made under it.
    test::writeFile(temp / "home/new/data", "not a folder");
    const fs::path folder = job("c0ffee01000040008000000000000002");
    EXPECT_FALSE(trash.available(folder));
    const auto moved = trash.moveToTrash(folder, "");
    ASSERT_FALSE(moved);
    EXPECT_NE(moved.failure().find(folder.string()), std::string::npos) << moved.failure();
    EXPECT_EQ(test::readFile(folder / "input/song.mp3"), "audio") << "left where it was";
    EXPECT_TRUE(fs::is_empty(temp / "cwd"));

    const auto missing = trash.moveToTrash(temp / "Engine/data/jobs/gone", "");
    EXPECT_FALSE(missing);
}

// Where the trash cannot take the entry (its info/ is not a folder, or the
// trash is a link), that is known beforehand and the move fails at once,
// leaving the entry: it never retries name after name.
TEST_F(TrashTest, ATrashThatCannotTakeTheEntryIsKnownAndRefusedAtOnce)
{
    const fs::path trashFolder = temp / "home/new/data/Trash";
    fs::create_directories(trashFolder / "files");
    test::writeFile(trashFolder / "info", "not a folder");
    const fs::path folder = job("c0ffee01000040008000000000000003");
    EXPECT_FALSE(trash.available(folder));
    EXPECT_FALSE(trash.moveToTrash(folder, ""));
    EXPECT_TRUE(fs::exists(folder / "job.json"));

    fs::remove(trashFolder / "info");
    fs::create_directories(temp / "elsewhere/info");
    fs::create_directory_symlink(temp / "elsewhere/info", trashFolder / "info");
    EXPECT_FALSE(trash.available(folder));
    EXPECT_FALSE(trash.moveToTrash(folder, ""));
    EXPECT_TRUE(fs::is_empty(temp / "elsewhere/info"));
    EXPECT_TRUE(fs::exists(folder / "job.json"));
}

// An entry is listed under the name it is shown by (a job under its song,
// not its id), and restored beside where it was under that name. Each claims
// its name by creating its record exclusively; a second entry of the same
// name gets the next free one. A shown name that is not one plain name is
// not used.
TEST_F(TrashTest, EntriesAreListedByTheirShownNameEachWithARecordToRestoreIt)
{
    const std::string song = "晴天 · 四轨 · 2026-12-07 23.10";
    const fs::path first = job("c0ffee01000040008000000000000004");
    ASSERT_TRUE(trash.moveToTrash(first, song));
    const fs::path again = job("c0ffee01000040008000000000000004");
    ASSERT_TRUE(trash.moveToTrash(again, song));
    const fs::path trashFolder = temp / "home/new/data/Trash";
    EXPECT_EQ(test::readFile(trashFolder / "files" / song / "job.json"), "{}");
    EXPECT_TRUE(fs::exists(trashFolder / "files" / (song + ".2")));
    const std::string record = test::readFile(trashFolder / "info" / (song + ".2.trashinfo"));
    const std::string restored = percentEncodePath((first.parent_path() / song).string());
    EXPECT_EQ(record.rfind("[Trash Info]\nPath=" + restored + "\nDeletionDate=", 0), 0u) << record;
    EXPECT_EQ(record.size(), record.find("DeletionDate=") + 13 + 19 + 1) << "YYYY-MM-DDThh:mm:ss";

    for (const char* unsafe : {"../escaped", "a/b", ".."}) {
        const fs::path folder = job("c0ffee01000040008000000000000005");
        ASSERT_TRUE(trash.moveToTrash(folder, unsafe)) << unsafe;
        EXPECT_FALSE(fs::exists(trashFolder / "escaped")) << unsafe;
        EXPECT_FALSE(fs::exists(trashFolder / "files/a")) << unsafe;
    }
    EXPECT_TRUE(fs::exists(trashFolder / "files/c0ffee01000040008000000000000005.3"));
}

TEST_F(TrashTest, BackgroundWorkEndsOnTheMainThread)
{
    adapters::QtBackgroundWork background;
    const auto main = std::this_thread::get_id();
    std::thread::id worker;
    bool ended = false;
    background.run([&] {
        worker = std::this_thread::get_id();
        return std::function<void()>([&] { ended = std::this_thread::get_id() == main; });
    });
    ASSERT_TRUE(test::runUntil([&] { return ended; }));
    EXPECT_TRUE(worker != main) << "the work ran on another thread";
}

} // namespace
} // namespace tonfield
