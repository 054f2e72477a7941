// SPDX-License-Identifier: GPL-3.0-or-later
// Whole jobs with the Hybrid Demucs engine, through the window's own parts
// and through the command line: an engine folder made by the engine's own
// script, torchaudio's real model from Debian's package, and weights of the
// same architecture (randomly initialised: the trained ones cannot be had
// here) that the engine downloads from a mirror on loopback.

#include "model/job_layout.hpp"
#include "model/job_store.hpp"
#include "ui/main_window.hpp"
#include "ui/widgets.hpp"
#include "ui/workbench_bridge.hpp"

#include "adapters/audio_files.hpp"
#include "adapters/desktop/qt_services.hpp"
#include "adapters/event_loop.hpp"
#include "fakes/fake_platform.hpp"
#include "fakes/headless_process.hpp"
#include "fakes/temp_folder.hpp"

#include <QAbstractButton>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tonfield {
namespace {
namespace fs = std::filesystem;

int shell(const std::string& command)
{
    return std::system(command.c_str());
}

// The weights at the route the engine asks for, served by Python's own HTTP
// server on a port the system picks.
class ModelMirror {
public:
    explicit ModelMirror(const fs::path& root)
    {
        const fs::path models = root / "torchaudio/models";
        fs::create_directories(models);
        made_ = shell(std::string(TONFIELD_SOURCE_DIR) +
                      "/engines/hdemucs/tests/make_test_weights.py '" +
                      (models / "hdemucs_high_trained.pt").string() + "'") == 0;
        server_.setProcessChannelMode(QProcess::MergedChannels);
        server_.start("/usr/bin/python3", {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                                           "--directory", QString::fromStdString(root.string())});
        const QRegularExpression port("port (\\d+)");
        QByteArray said;
        while (server_.waitForReadyRead(30'000)) {
            said += server_.readAll();
            if (const auto match = port.match(QString::fromUtf8(said)); match.hasMatch()) {
                url_ = "http://127.0.0.1:" + match.captured(1).toStdString();
                break;
            }
        }
    }
    ~ModelMirror()
    {
        server_.kill();
        server_.waitForFinished();
    }
    ModelMirror(const ModelMirror&) = delete;
    ModelMirror& operator=(const ModelMirror&) = delete;

    bool ready() const { return made_ && !url_.empty(); }
    const std::string& url() const { return url_; }

private:
    bool made_ = false;
    QProcess server_;
    std::string url_;
};

class NeuralEngine : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new test::TempFolder;
        mirror_ = new ModelMirror(*folder_ / "mirror");
    }
    static void TearDownTestSuite()
    {
        delete mirror_;
        delete folder_;
    }

    void SetUp() override
    {
        ASSERT_TRUE(mirror_->ready()) << "the mirror could not be set up";
        // The engine inherits the application's environment.
        ::setenv("TONFIELD_MODEL_MIRROR", mirror_->url().c_str(), 1);
        ASSERT_EQ(shell(std::string(TONFIELD_SOURCE_DIR) +
                        "/engines/hdemucs/make_engine_folder.sh '" + engineRoot.string() + "'"),
                  0);
        ASSERT_TRUE(test::makeTone(song, 3.0));
    }

    static std::string outputText(const Job& job, const fs::path& root)
    {
        return test::readFile(layout::logFile(root, job.id));
    }

    static inline test::TempFolder* folder_ = nullptr;
    static inline ModelMirror* mirror_ = nullptr;
    test::TempFolder temp;
    const fs::path engineRoot = temp / "Engine";
    const fs::path song = temp / "晴天.flac";
};

TEST_F(NeuralEngine, FourStemsThenVocalsFromTheWindowDownloadingTheModelOnce)
{
    adapters::QtServices real;
    real.settings = adapters::QtSettings(toQString(temp / "settings.ini"));
    real.settings.setString("engineRoot", engineRoot.string());
    test::ScriptedDialogs dialogs;
    test::RecordingFileBrowser fileBrowser;
    auto workbench = Workbench::create({real.clock, real.ids, real.settings, dialogs, real.timers,
                                        real.environment, real.grants, real.launcher, real.audio,
                                        fileBrowser, real.waveforms, real.trash, real.background,
                                        real.mixRenderer, real.songDecoder, real.songAnalyzer});
    ui::WorkbenchBridge bridge(*workbench);
    ui::MainWindow window(bridge, {});
    window.show();
    ASSERT_TRUE(workbench->ready());
    workbench->importFile(song);
    auto* start = window.findChild<QAbstractButton*>("start");
    ASSERT_TRUE(test::runUntil([&] { return start->isEnabled(); }));

    const std::pair<const char*, qsizetype> modes[] = {{"four", 4}, {"vocal", 2}};
    for (const auto& [mode, stems] : modes) {
        SCOPED_TRACE(mode);
        window.findChild<QAbstractButton*>(mode)->click();
        start->click();
        ASSERT_TRUE(workbench->busy()) << workbench->error().value_or("");
        ASSERT_TRUE(test::runUntil([&] { return !workbench->busy(); }, 600'000));
        const Job job = workbench->selectedJob().value();
        ASSERT_EQ(job.status, "done") << workbench->log();
        EXPECT_TRUE(test::runUntil(
            [&] { return window.findChildren<QWidget*>("stemRow").size() == stems; }));
        const bool downloaded =
            outputText(job, engineRoot).find("下载模型 100%") != std::string::npos;
        EXPECT_EQ(downloaded, std::string(mode) == "four") << "downloaded on first use only";
    }
}

TEST_F(NeuralEngine, TheCommandLineSeparatesAndPassesOnTheEnginesRefusal)
{
    auto run = [&](const QStringList& arguments) {
        QProcess process;
        test::startWithoutDisplay(process, TONFIELD_EXECUTABLE,
                                  QStringList{"separate", "晴天.flac", "--engine",
                                              QString::fromStdString(engineRoot.string())} +
                                      arguments,
                                  temp.path(), temp.path());
        EXPECT_TRUE(process.waitForFinished(600'000));
        return std::pair{process.exitCode(), process.readAllStandardOutput().toStdString() +
                                                 process.readAllStandardError().toStdString()};
    };
    const auto [vocal, vocalSaid] = run({"--mode", "vocal"});
    EXPECT_EQ(vocal, 0) << vocalSaid;
    const auto [six, sixSaid] = run({"--mode", "six"});
    EXPECT_NE(six, 0);
    EXPECT_NE(sixSaid.find("Hybrid Demucs 不能做六轨分离"), std::string::npos) << sixSaid;

    const auto jobs = readHistory(engineRoot);
    ASSERT_EQ(jobs.size(), 2u);
    std::size_t done = 0;
    for (const Job& job : jobs)
        done += job.status == "done" ? 1 : 0;
    EXPECT_EQ(done, 1u);
}

} // namespace
} // namespace tonfield
