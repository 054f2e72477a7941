// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/engine_description.hpp"

#include "fakes/engine_fixture.hpp"
#include "fakes/workbench_fixture.hpp"

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using State = EngineEntry::State;

constexpr const char* neuralDescription =
    R"({"name": "Hybrid Demucs", "modes": ["vocal", "four"], "note": "neural",
        "packages": ["python3-torchaudio"]})";

// Two templates as an installation brings them, and a data folder of the
// test's own; the engine folder in use is one the user chose by hand.
class EngineManagerTest : public test::WorkbenchFixture {
protected:
    EngineManagerTest()
    {
        for (const auto& [name, description] :
             {std::pair{"reference", R"({"name": "参考引擎", "modes": ["vocal", "four", "six"]})"},
              std::pair{"hdemucs", neuralDescription}}) {
            const fs::path folder = temp / "templates" / name;
            test::writeFile(folder / "make_engine_folder.sh", "#!/bin/sh\n");
            test::writeFile(folder / "engine.json", description);
            platform.environment.templates[name] = folder;
        }
        platform.environment.dataFolder = temp / "data";
        manager().refresh();
    }

    EngineManager& manager() { return workbench->engineManager(); }
    const EngineEntry& entry(const std::string& name) { return *manager().find(name); }
    fs::path neuralFolder() const { return temp / "data/Engines/hdemucs"; }

    // What the set-up script does when it succeeds.
    void makeNeuralFolder()
    {
        test::makeEngineFolder(neuralFolder(), true);
        test::writeFile(neuralFolder() / "engine.json", neuralDescription);
    }
};

TEST_F(EngineManagerTest, ListsEachTemplateWithWhatItNeeds)
{
    const auto& engines = manager().engines();
    ASSERT_EQ(engines.size(), 2u);
    EXPECT_EQ(engines[0].name, "reference") << "the one every installation has comes first";
    EXPECT_EQ(engines[0].state, State::notSetUp);
    EXPECT_EQ(engines[0].folder, temp / "data/Engine") << "where the first run makes it";
    EXPECT_EQ(engines[1].description.displayName, "Hybrid Demucs");
    EXPECT_EQ(engines[1].description.modes,
              (std::vector{SeparationMode::vocal, SeparationMode::four}));
    EXPECT_EQ(engines[1].state, State::needsPackages);
    EXPECT_EQ(engines[1].missingPackages, std::vector<std::string>{"python3-torchaudio"});
    EXPECT_FALSE(manager().inUse()) << "the folder in use was chosen by hand";

    manager().setUp("hdemucs");
    EXPECT_TRUE(platform.launcher.launches.empty()) << "nothing runs without its packages";
    EXPECT_NE(workbench->error().value_or("").find("sudo apt install python3-torchaudio"),
              std::string::npos);

    platform.environment.installedPackages.insert("python3-torchaudio");
    manager().refresh();
    EXPECT_EQ(entry("hdemucs").state, State::notSetUp);
}

TEST_F(EngineManagerTest, SetUpThenUseMakesItTheEngineFolder)
{
    platform.environment.installedPackages.insert("python3-torchaudio");
    workbench->setMode(SeparationMode::six);
    manager().setUp("hdemucs");
    ASSERT_EQ(platform.launcher.launches.size(), 1u);
    const engine::Invocation& setUp = platform.launcher.last().invocation;
    EXPECT_EQ(setUp.executable, temp / "templates/hdemucs/make_engine_folder.sh");
    EXPECT_EQ(setUp.arguments, std::vector<std::string>{neuralFolder().string()});
    EXPECT_EQ(entry("hdemucs").state, State::settingUp);

    // Its progress is the last line it wrote.
    test::writeFile(temp / "data/engine-setup-hdemucs.log", "Creating\nCopying scripts\n");
    workbench->tick();
    EXPECT_EQ(entry("hdemucs").detail, "Copying scripts");

    manager().use("hdemucs");
    EXPECT_EQ(workbench->engineRoot(), temp / "Engine") << "not ready before its set-up ends";

    makeNeuralFolder();
    platform.launcher.exit(0);
    EXPECT_EQ(entry("hdemucs").state, State::ready);
    manager().use("hdemucs");
    EXPECT_EQ(workbench->engineRoot(), neuralFolder());
    EXPECT_EQ(platform.settings.values["engineRoot"], neuralFolder().string());
    EXPECT_TRUE(entry("hdemucs").inUse);
    EXPECT_EQ(workbench->engineDescription()->displayName, "Hybrid Demucs");
    EXPECT_FALSE(workbench->engineSupports(SeparationMode::six));
    EXPECT_EQ(workbench->mode(), SeparationMode::vocal)
        << "a mode the engine cannot do gives way to one it can";

    // Disk use and jobs are measured away from the main thread.
    test::writeFile(neuralFolder() / "data/jobs/a/job.json", "{}");
    fs::create_directories(neuralFolder() / "data/jobs/b");
    manager().refresh();
    EXPECT_FALSE(entry("hdemucs").jobCount);
    platform.background.runAll();
    EXPECT_EQ(entry("hdemucs").jobCount, 2u);
    EXPECT_GT(entry("hdemucs").diskBytes.value_or(0), 0u);
}

TEST_F(EngineManagerTest, AFailedOrCancelledSetUpSaysWhy)
{
    platform.environment.installedPackages.insert("python3-torchaudio");
    manager().setUp("hdemucs");
    test::writeFile(temp / "data/engine-setup-hdemucs.log",
                    "Creating\nthe engine needs python3-torchaudio (No module named 'torch')\n\n");
    platform.launcher.exit(1);
    EXPECT_EQ(entry("hdemucs").state, State::failed);
    EXPECT_EQ(entry("hdemucs").detail,
              "the engine needs python3-torchaudio (No module named 'torch')");

    manager().setUp("hdemucs");
    EXPECT_EQ(entry("hdemucs").state, State::settingUp) << "a new attempt forgets the failure";
    manager().cancelSetUp("hdemucs");
    EXPECT_EQ(platform.launcher.last().terminateRequests, 1);
    platform.launcher.exit(143);
    EXPECT_EQ(entry("hdemucs").detail, "安装已取消");

    // A script that says it succeeded but left no engine has failed too.
    manager().setUp("hdemucs");
    test::writeFile(temp / "data/engine-setup-hdemucs.log", "");
    platform.launcher.exit(0);
    EXPECT_EQ(entry("hdemucs").state, State::failed);
    EXPECT_EQ(entry("hdemucs").detail, "安装脚本以状态 0 结束");
}

TEST_F(EngineManagerTest, RemovesToTheTrashButNeverTheEngineInUse)
{
    platform.environment.installedPackages.insert("python3-torchaudio");
    makeNeuralFolder();
    manager().refresh();
    manager().use("hdemucs");
    manager().remove("hdemucs");
    EXPECT_TRUE(fs::exists(neuralFolder()));
    EXPECT_NE(workbench->error().value_or("").find("不能移除"), std::string::npos);

    workbench->setError(std::nullopt);
    test::makeEngineFolder(temp / "data/Engine", true);
    manager().refresh();
    manager().use("reference");
    manager().remove("hdemucs");
    EXPECT_FALSE(workbench->error()) << *workbench->error();
    EXPECT_FALSE(fs::exists(neuralFolder()));
    EXPECT_TRUE(fs::exists(temp / "Trash/Tonfield hdemucs/separate_job.py"));
    EXPECT_EQ(entry("hdemucs").state, State::notSetUp);
}

TEST_F(EngineManagerTest, AFolderOfAnUpgradedTemplateIsSetUpAgainAtStartUp)
{
    platform.environment.installedPackages.insert("python3-torchaudio");
    const fs::path script = temp / "templates/hdemucs/separate_job.py";
    test::writeFile(script, "# version 1\n");
    makeNeuralFolder(); // made before stamps, or by an older template
    auto restart = [&] {
        const std::size_t before = platform.launcher.launches.size();
        workbench = Workbench::create(platform.services());
        return platform.launcher.launches.size() - before;
    };
    ASSERT_EQ(restart(), 1u);
    EXPECT_EQ(platform.launcher.last().invocation.arguments,
              std::vector<std::string>{neuralFolder().string()});
    platform.launcher.exit(0);
    EXPECT_FALSE(workbench->error()) << "silent when it works";
    EXPECT_EQ(restart(), 0u) << "stamped: nothing to refresh";

    test::writeFile(script, "# version 2, longer\n");
    ASSERT_EQ(restart(), 1u);
    test::writeFile(temp / "data/engine-setup-hdemucs.log", "No space left on device\n");
    platform.launcher.exit(1);
    EXPECT_EQ(workbench->error(), "无法更新分轨引擎 hdemucs：No space left on device");
    EXPECT_EQ(restart(), 1u) << "still stale: tried again at the next start";
}

TEST(EngineDescription, AnythingButADescriptionReadsAsNone)
{
    test::TempFolder temp;
    const std::pair<const char*, bool> cases[] = {
        {R"({"name": "X", "modes": ["four"]})", true},
        {R"({"name": "X", "modes": ["four"], "note": 3})", false},
        {R"({"name": "X", "modes": ["four", "four"]})", false},
        {R"({"name": "X", "modes": ["seven"]})", false},
        {R"({"name": "X", "modes": []})", false},
        {R"({"name": "", "modes": ["four"]})", false},
        {R"({"modes": ["four"]})", false},
        {R"({"name": "X", "modes": "four"})", false},
        {R"({"name": "X", "modes": ["four"], "packages": [1]})", false},
        {R"(["name"])", false},
        {"{\"name\": \"X\", \"modes\": [\"four\"]", false},
    };
    for (const auto& [text, valid] : cases) {
        test::writeFile(temp / "engine.json", text);
        EXPECT_EQ(engine::readDescription(temp.path()).has_value(), valid) << text;
    }
    test::writeFile(temp / "engine.json", R"({"name": "X", "modes": ["four"], "note": ")" +
                                              std::string(70'000, 'a') + "\"}");
    EXPECT_FALSE(engine::readDescription(temp.path())) << "too large to be a description";
    EXPECT_EQ(engine::supportedModes(temp.path()).size(), 3u)
        << "a folder without a description is taken to do all three";
    fs::remove(temp / "engine.json");
    fs::create_directory(temp / "engine.json");
    EXPECT_FALSE(engine::readDescription(temp.path()));
}

} // namespace
} // namespace tonfield
