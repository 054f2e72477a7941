// SPDX-License-Identifier: GPL-3.0-or-later

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
class QtTrashTest : public ::testing::Test {
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
    adapters::QtTrash trash;

private:
    std::pair<QByteArray, QByteArray> saved_;
    QString savedDirectory_;
};

TEST_F(QtTrashTest, AJobFolderLandsInTheHomeTrashMadeForIt)
{
    const fs::path folder = job("c0ffee01000040008000000000000001");
    ASSERT_TRUE(trash.available(folder));
    const auto moved = trash.moveToTrash(folder);
    ASSERT_TRUE(moved) << moved.failure();
    EXPECT_FALSE(fs::exists(folder));
    const fs::path trashed = temp / "home/new/data/Trash/files/c0ffee01000040008000000000000001";
    EXPECT_EQ(test::readFile(trashed / "input/song.mp3"), "audio");
    EXPECT_TRUE(fs::exists(temp / "home/new/data/Trash/info/c0ffee01000040008000000000000001"
                                  ".trashinfo"));
    EXPECT_TRUE(fs::is_empty(temp / "cwd")) << "nothing lands beside the working directory";
}

TEST_F(QtTrashTest, WhereNoTrashCanBeMadeTheFolderStaysAndTheFailureIsNamed)
{
    // The data folder is a file: no trash can be made under it.
    test::writeFile(temp / "home/new/data", "not a folder");
    const fs::path folder = job("c0ffee01000040008000000000000002");
    EXPECT_FALSE(trash.available(folder));
    const auto moved = trash.moveToTrash(folder);
    ASSERT_FALSE(moved);
    EXPECT_NE(moved.failure().find(folder.string()), std::string::npos) << moved.failure();
    EXPECT_EQ(test::readFile(folder / "input/song.mp3"), "audio") << "left where it was";
    EXPECT_TRUE(fs::is_empty(temp / "cwd"));

    const auto missing = trash.moveToTrash(temp / "Engine/data/jobs/gone");
    EXPECT_FALSE(missing);
}

TEST_F(QtTrashTest, BackgroundWorkEndsOnTheMainThread)
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
