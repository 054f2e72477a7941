// SPDX-License-Identifier: GPL-3.0-or-later
// An installed Tonfield with no engine anywhere makes one from the installed
// reference engine in the user's data folder, without blocking, and uses it.

#include "workbench/workbench.hpp"

#include "fakes/engine_fixture.hpp"
#include "fakes/fake_platform.hpp"
#include "fakes/sample_job.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using Field = Workbench::Field;

class WorkbenchFirstRun : public ::testing::Test {
protected:
    WorkbenchFirstRun()
    {
        platform.environment.installedTemplate = temp / "usr/share/tonfield/engine";
        platform.environment.dataFolder = temp / "data/Tonfield";
    }

    std::shared_ptr<Workbench> create()
    {
        auto workbench = Workbench::create(platform.services());
        workbench->subscribe([this](Field field) { changes.push_back(field); });
        return workbench;
    }
    fs::path madeFolder() const { return temp / "data/Tonfield/Engine"; }
    // What the set-up script does when it succeeds.
    void makeTheFolder() { test::makeEngineFolder(madeFolder(), true); }

    test::TempFolder temp;
    test::FakePlatform platform;
    std::vector<Field> changes;
};

TEST_F(WorkbenchFirstRun, MakesTheEngineFolderFromTheTemplateAndUsesIt)
{
    auto workbench = create();
    ASSERT_EQ(platform.launcher.launches.size(), 1u);
    const engine::Invocation& setup = platform.launcher.last().invocation;
    EXPECT_EQ(setup.executable, temp / "usr/share/tonfield/engine/make_engine_folder.sh");
    EXPECT_EQ(setup.arguments, std::vector<std::string>{madeFolder().string()});
    EXPECT_EQ(setup.workingDirectory, temp / "data/Tonfield");
    EXPECT_TRUE(workbench->preparingEngine());
    EXPECT_EQ(workbench->message(), "正在准备本地分轨引擎…");
    EXPECT_FALSE(workbench->engineRoot()) << "the window is not held up meanwhile";

    makeTheFolder();
    test::storeJob(madeFolder(), test::sampleJob(std::string(32, 'a'), 1000));
    platform.launcher.exit(0);
    EXPECT_FALSE(workbench->preparingEngine());
    EXPECT_EQ(workbench->engineRoot(), madeFolder());
    EXPECT_TRUE(workbench->ready());
    EXPECT_EQ(platform.settings.values["engineRoot"], madeFolder().string());
    EXPECT_EQ(workbench->jobs().size(), 1u) << "the history of the new folder";
    EXPECT_EQ(workbench->message(), "导入音乐，探索每一层声音。");
    EXPECT_FALSE(workbench->error());
    EXPECT_EQ(changes.back(), Field::preparingEngine);

    // Next start: the stored folder is found first, nothing is made again.
    create();
    EXPECT_EQ(platform.launcher.launches.size(), 1u);
}

TEST_F(WorkbenchFirstRun, NothingIsMadeWhereACandidateHoldsAnEngineOrNoTemplateIsInstalled)
{
    test::makeEngineFolder(temp / "cwd", true);
    platform.environment.currentDirectoryPath = temp / "cwd";
    EXPECT_EQ(create()->engineRoot(), temp / "cwd");
    EXPECT_TRUE(platform.launcher.launches.empty());

    platform.environment.currentDirectoryPath = temp / "nowhere";
    platform.environment.installedTemplate.reset();
    auto workbench = create();
    EXPECT_TRUE(platform.launcher.launches.empty());
    EXPECT_FALSE(workbench->preparingEngine());
    EXPECT_FALSE(workbench->engineRoot());
    EXPECT_FALSE(workbench->error()) << "as before: nothing reported at start-up";
}

TEST_F(WorkbenchFirstRun, AFailedSetUpSaysWhatIsMissing)
{
    auto workbench = create();
    test::writeFile(temp / "data/Tonfield/engine-setup.log",
                    "Creating...\nthe engine needs python3-numpy and "
                    "python3-soundfile\n\n");
    platform.launcher.exit(1);
    EXPECT_FALSE(workbench->preparingEngine());
    EXPECT_FALSE(workbench->engineRoot());
    EXPECT_EQ(workbench->error(), "无法准备本地分轨引擎：the engine needs python3-numpy and "
                                  "python3-soundfile");
    EXPECT_FALSE(platform.settings.values.contains("engineRoot"));

    // A script that cannot even start is reported at once.
    platform.launcher.failure =
        "/usr/share/tonfield/engine/make_engine_folder.sh: Permission denied";
    auto second = create();
    EXPECT_FALSE(second->preparingEngine());
    EXPECT_EQ(second->error(), "无法准备本地分轨引擎：/usr/share/tonfield/engine/"
                               "make_engine_folder.sh: Permission denied");
}

TEST_F(WorkbenchFirstRun, TheUsersOwnChoicesStay)
{
    // Chosen while the set-up ran: the chosen folder stays the engine folder.
    auto workbench = create();
    test::makeEngineFolder(temp / "mine", true);
    platform.dialogs.folderAnswers.push_back(temp / "mine");
    workbench->chooseEngine();
    makeTheFolder();
    platform.launcher.exit(0);
    EXPECT_EQ(workbench->engineRoot(), temp / "mine");
    EXPECT_EQ(platform.settings.values["engineRoot"], (temp / "mine").string());

    // A stored folder that is missing for now (an unplugged disk) is used
    // meanwhile but not overwritten.
    platform.settings.values["engineRoot"] = (temp / "unplugged").string();
    auto later = create();
    platform.launcher.exit(0);
    EXPECT_EQ(later->engineRoot(), madeFolder());
    EXPECT_EQ(platform.settings.values["engineRoot"], (temp / "unplugged").string());
}

// After a package upgrade the folder made from the template is set up again
// by the new template (script replaced, environment and jobs kept), silently;
// the same template, or a folder the user chose, is left alone.
TEST_F(WorkbenchFirstRun, AnUpgradedTemplateRefreshesTheFolderItMade)
{
    const fs::path installed = temp / "usr/share/tonfield/engine/separate_job.py";
    test::writeFile(installed, "# version 1\n");
    auto first = create();
    makeTheFolder();
    platform.launcher.exit(0);
    ASSERT_EQ(platform.launcher.launches.size(), 1u);

    // The same template: nothing runs.
    auto same = create();
    EXPECT_EQ(platform.launcher.launches.size(), 1u);
    EXPECT_FALSE(same->preparingEngine());

    // The package brought another one.
    test::writeFile(installed, "# version 2, longer\n");
    changes.clear();
    auto upgraded = create();
    ASSERT_EQ(platform.launcher.launches.size(), 2u);
    EXPECT_EQ(platform.launcher.last().invocation.arguments,
              std::vector<std::string>{madeFolder().string()});
    EXPECT_EQ(upgraded->engineRoot(), madeFolder()) << "the folder stays in use meanwhile";
    EXPECT_TRUE(upgraded->ready());
    EXPECT_EQ(upgraded->message(), "导入音乐，探索每一层声音。") << "without a word";
    platform.launcher.exit(0);
    EXPECT_FALSE(upgraded->preparingEngine());
    EXPECT_FALSE(upgraded->error());
    create();
    EXPECT_EQ(platform.launcher.launches.size(), 2u) << "refreshed once";

    // A refresh that fails says why.
    test::writeFile(installed, "# version 3, longer still\n");
    auto failing = create();
    test::writeFile(temp / "data/Tonfield/engine-setup.log",
                    "the engine needs python3-numpy\n\t \n");
    platform.launcher.exit(1);
    EXPECT_EQ(failing->error(), "无法准备本地分轨引擎：the engine needs python3-numpy");

    // A folder the user chose is never the template's to change.
    test::makeEngineFolder(temp / "mine", true);
    platform.settings.values["engineRoot"] = (temp / "mine").string();
    test::writeFile(installed, "# version 4, the longest of them\n");
    const std::size_t before = platform.launcher.launches.size();
    create();
    EXPECT_EQ(platform.launcher.launches.size(), before);
}

} // namespace
} // namespace tonfield
