// SPDX-License-Identifier: GPL-3.0-or-later

#include "fakes/file_size_limit.hpp"
#include "fakes/sample_job.hpp"
#include "fakes/workbench_fixture.hpp"

#include <algorithm>
#include <sys/stat.h>

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

class WorkbenchExport : public test::WorkbenchFixture {
protected:
    // A finished job whose four stems lie in its output folder.
    void finishJobWithStems()
    {
        startJob();
        for (const char* stem : {"Bass", "Drums", "Other", "Vocals"})
            writeFile(jobFile(std::string("output/song_(") + stem + ").wav"),
                      std::string("audio of ") + stem);
        platform.launcher.exit(0);
        ASSERT_EQ(workbench->stems().size(), 4u);
    }
    fs::path exports = temp / "exports";
};

TEST_F(WorkbenchExport, ExportReplacesTheDestinationOnlyWithACompleteCopy)
{
    finishJobWithStems();
    const Stem vocals = workbench->stems().back();

    workbench->exportStem(vocals); // cancelled
    ASSERT_EQ(platform.dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(platform.dialogs.saveRequests[0],
              (std::pair<std::string, std::string>{"song_(Vocals).wav", "wav"}));

    writeFile(exports / "mine.wav", "an older file");
    platform.dialogs.saveAnswers.push_back(exports / "mine.wav");
    workbench->exportStem(vocals);
    EXPECT_EQ(readFile(exports / "mine.wav"), "audio of Vocals");

    // Onto its own file: nothing happens.
    platform.dialogs.saveAnswers.push_back(vocals.url.parent_path() / "." / vocals.url.filename());
    workbench->exportStem(vocals);
    EXPECT_EQ(readFile(vocals.url), "audio of Vocals");
    EXPECT_FALSE(workbench->error());

    // A failed copy keeps the old file and leaves nothing half-written.
    writeFile(exports / "keep.wav", "keep me");
    fs::remove(vocals.url);
    platform.dialogs.saveAnswers.push_back(exports / "keep.wav");
    workbench->exportStem(vocals);
    EXPECT_EQ(workbench->error(),
              vocals.url.string() + ": 找不到这个文件或文件夹（No such file or directory）");
    EXPECT_EQ(readFile(exports / "keep.wav"), "keep me");
    EXPECT_EQ(std::distance(fs::directory_iterator(exports), fs::directory_iterator()), 2);

    // A folder at the destination is never removed.
    fs::create_directories(exports / "folder.wav/inside");
    platform.dialogs.saveAnswers.push_back(exports / "folder.wav");
    workbench->exportStem(workbench->stems().front());
    EXPECT_EQ(workbench->error(), (exports / "folder.wav").string() + ": Is a directory");
    EXPECT_TRUE(fs::is_directory(exports / "folder.wav/inside"));
}

TEST_F(WorkbenchExport, ExportAllFillsANewFolderNamedAfterTheSource)
{
    workbench->exportAll(); // no stems: no panel
    EXPECT_TRUE(platform.dialogs.folderRequests.empty());

    sourceFile = temp / "a.b.flac";
    test::writeFile(sourceFile, "x");
    finishJobWithStems();
    fs::create_directories(exports);
    platform.dialogs.folderAnswers = {exports, exports};
    workbench->exportAll();
    ASSERT_EQ(platform.dialogs.folderRequests.size(), 1u);
    EXPECT_EQ(platform.dialogs.folderRequests[0].confirmLabel, "导出到此文件夹");
    EXPECT_TRUE(platform.dialogs.folderRequests[0].canCreateFolders);
    const fs::path first = exports / "a.b · 分轨";
    EXPECT_EQ(readFile(first / "song_(Drums).wav"), "audio of Drums");
    EXPECT_EQ(std::distance(fs::directory_iterator(first), fs::directory_iterator()), 4);
    EXPECT_EQ(platform.fileBrowser.opened, std::vector<fs::path>{first});

    workbench->exportAll();
    ASSERT_EQ(platform.fileBrowser.opened.size(), 2u);
    const std::string second = platform.fileBrowser.opened[1].filename().string();
    EXPECT_EQ(second, "a.b · C0FFEE")
        << "the first six characters of a fresh (lower-case) UUID, upper case";
    EXPECT_EQ(std::distance(fs::directory_iterator(platform.fileBrowser.opened[1]),
                            fs::directory_iterator()),
              4);
}

TEST_F(WorkbenchExport, ExportAllStopsAtTheFirstFailedCopy)
{
    finishJobWithStems();
    fs::remove(workbench->stems()[2].url);
    platform.dialogs.folderAnswers.push_back(exports);
    workbench->exportAll();
    const fs::path target = exports / "My Song (Live) · 分轨";
    EXPECT_EQ(workbench->error(), workbench->stems()[2].url.string() +
                                      ": 找不到这个文件或文件夹（No such file or directory）");
    EXPECT_TRUE(fs::exists(target / "song_(Bass).wav"));
    EXPECT_TRUE(fs::exists(target / "song_(Drums).wav"));
    EXPECT_FALSE(fs::exists(target / "song_(Vocals).wav"));
    EXPECT_TRUE(platform.fileBrowser.opened.empty());
}

// A record from a copied or shared engine folder names the export folder only
// through the last component of its file name.
TEST_F(WorkbenchExport, ExportAllStaysInsideTheChosenFolderWhateverTheRecordSays)
{
    finishJobWithStems();
    fs::create_directories(exports);
    const fs::path outside = temp / "outside";
    for (const std::string& filename :
         {std::string("../../outside/song.mp3"), (outside / "abs.mp3").string(), std::string(".."),
          std::string("a/."), std::string("")}) {
        SCOPED_TRACE(filename);
        Job job = *workbench->selectedJob();
        job.filename = filename;
        test::storeJob(engineRoot(), job);
        workbench->loadHistory();
        workbench->select(workbench->jobs().at(0));
        platform.dialogs.folderAnswers.push_back(exports);
        workbench->exportAll();
        ASSERT_FALSE(platform.fileBrowser.opened.empty());
        EXPECT_EQ(platform.fileBrowser.opened.back().parent_path(), exports);
        EXPECT_EQ(fs::relative(platform.fileBrowser.opened.back(), exports).begin()->string(),
                  platform.fileBrowser.opened.back().filename().string());
    }
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(exports / "abs · 分轨"));
    EXPECT_TRUE(fs::exists(exports / "song · 分轨"));
}

// The file-size limit stands in for a full disk: the stem being copied is
// never left truncated under its real name.
TEST_F(WorkbenchExport, AFailedCopyLeavesNoPartialFile)
{
    finishJobWithStems();
    writeFile(workbench->stems()[1].url, std::string(64 * 1024, 'd'));
    platform.dialogs.folderAnswers.push_back(exports);
    platform.dialogs.saveAnswers.push_back(exports / "alone.wav");

    std::optional<std::string> allError, oneError;
    {
        test::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.applied());
        workbench->exportAll();
        allError = workbench->error();
        workbench->exportStem(workbench->stems()[1]);
        oneError = workbench->error();
    }

    const fs::path target = exports / "My Song (Live) · 分轨";
    EXPECT_EQ(allError,
              (target / "song_(Drums).wav").string() + ": 文件超出了允许的大小（File too large）");
    EXPECT_EQ(oneError,
              (exports / "alone.wav").string() + ": 文件超出了允许的大小（File too large）")
        << "the failure names the file the user chose, not a temporary one";
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(exports))
        left.push_back(fs::relative(entry.path(), exports).string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"My Song (Live) · 分轨",
                                              "My Song (Live) · 分轨/song_(Bass).wav"}));
}

// Names near the file-name limit (80 Chinese characters) export as they are;
// a stem that is not a regular file is refused instead of blocking.
TEST_F(WorkbenchExport, LongNamesExportAndOddFilesAreRefused)
{
    finishJobWithStems();
    fs::create_directories(exports);
    std::string longName;
    for (int i = 0; i < 80; ++i)
        longName += "晴";
    longName += ".wav";
    ASSERT_GE(longName.size(), 244u);
    platform.dialogs.saveAnswers.push_back(exports / longName);
    workbench->exportStem(workbench->stems()[0]);
    EXPECT_FALSE(workbench->error()) << *workbench->error();
    EXPECT_EQ(readFile(exports / longName), "audio of Bass");

    const Stem pipe{engineRoot() / "pipe.wav"};
    ASSERT_EQ(::mkfifo(pipe.url.c_str(), 0600), 0);
    platform.dialogs.saveAnswers.push_back(exports / "pipe.wav");
    workbench->exportStem(pipe);
    EXPECT_EQ(workbench->error(), pipe.url.string() + ": Not a regular file");
    EXPECT_FALSE(fs::exists(exports / "pipe.wav"));
}

// What the engine wrote is exported only as the regular file it is: a stem
// that is a link to another file is refused, and a private stem stays private.
TEST_F(WorkbenchExport, ALinkedStemIsRefusedAndAPrivateOneStaysPrivate)
{
    finishJobWithStems();
    writeFile(temp / "secret.txt", "the user's secret");
    const fs::path linked = jobFile("output/song_(Guitar).wav");
    fs::create_symlink(temp / "secret.txt", linked);
    platform.dialogs.saveAnswers.push_back(exports / "guitar.wav");
    fs::create_directories(exports);
    workbench->exportStem(Stem{linked});
    EXPECT_EQ(workbench->error(), linked.string() + ": Too many levels of symbolic links");
    EXPECT_FALSE(fs::exists(exports / "guitar.wav"));
    workbench->setError(std::nullopt);

    const fs::path vocals = jobFile("output/song_(Vocals).wav");
    fs::permissions(vocals, fs::perms::owner_read | fs::perms::owner_write);
    platform.dialogs.saveAnswers.push_back(exports / "vocals.wav");
    workbench->exportStem(Stem{vocals});
    EXPECT_FALSE(workbench->error());
    EXPECT_EQ(fs::status(exports / "vocals.wav").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(vocals, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read | fs::perms::owner_exec |
                                fs::perms::others_write);
    platform.dialogs.saveAnswers.push_back(exports / "wide.wav");
    workbench->exportStem(Stem{vocals});
    EXPECT_EQ(fs::status(exports / "wide.wav").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read)
        << "never wider than rw-r--r--";
}

// A write killed half-way (a mix of a gigabyte) leaves its hidden temporary
// file beside the destination; the next write there removes it, never one
// of a write still running.
TEST_F(WorkbenchExport, AWriteRemovesWhatAKilledWriteLeftBehind)
{
    finishJobWithStems();
    writeFile(exports / ".tonfield-999999999-a1b2c3", "half a mix"); // beyond any pid
    writeFile(exports / ".tonfield-1-d4e5f6", "in flight");          // init never dies
    writeFile(exports / ".tonfield-notes", "not ours");
    platform.dialogs.saveAnswers.push_back(exports / "vocals.wav");
    workbench->exportStem(workbench->stems().back());
    EXPECT_EQ(readFile(exports / "vocals.wav"), "audio of Vocals");
    EXPECT_FALSE(fs::exists(exports / ".tonfield-999999999-a1b2c3"));
    EXPECT_TRUE(fs::exists(exports / ".tonfield-1-d4e5f6"));
    EXPECT_TRUE(fs::exists(exports / ".tonfield-notes"));
}

} // namespace
} // namespace tonfield
