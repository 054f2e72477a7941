#include "fakes/workbench_fixture.hpp"

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

class WorkbenchExport : public testing::WorkbenchFixture {
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
    EXPECT_EQ(workbench->error(), vocals.url.string() + ": No such file or directory");
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
    testing::writeFile(sourceFile, "x");
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
    EXPECT_EQ(second, "a.b · C0FFEE") << "the first six characters of a fresh UUID, upper case";
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
    EXPECT_EQ(workbench->error(),
              workbench->stems()[2].url.string() + ": No such file or directory");
    EXPECT_TRUE(fs::exists(target / "song_(Bass).wav"));
    EXPECT_TRUE(fs::exists(target / "song_(Drums).wav"));
    EXPECT_FALSE(fs::exists(target / "song_(Vocals).wav"));
    EXPECT_TRUE(platform.fileBrowser.opened.empty());
}

} // namespace
} // namespace tonfield
