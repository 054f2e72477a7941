// SPDX-License-Identifier: GPL-3.0-or-later
// A whole job as a person does it, through the real parts: the window's own
// widgets, the Qt adapters, an engine folder made from the bundled reference
// engine, a real child process, real audio output (a null sink) and real
// files. Only the folder chooser is scripted.

#include "model/job_json.hpp"
#include "model/job_layout.hpp"
#include "model/progress.hpp"
#include "ui/main_window.hpp"
#include "ui/widgets.hpp"
#include "ui/workbench_bridge.hpp"

#include "adapters/audio_files.hpp"
#include "adapters/desktop/qt_services.hpp"
#include "adapters/event_loop.hpp"
#include "adapters/null_sink_monitor.hpp"
#include "fakes/fake_platform.hpp"
#include "fakes/temp_folder.hpp"

#include <QAbstractButton>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>

namespace tonfield {
namespace {
namespace fs = std::filesystem;

template <class T = QWidget> T* find(const QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(name);
    EXPECT_TRUE(found) << name;
    return found;
}

void dropFile(QWidget& target, const fs::path& file)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(toQString(file))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &drop);
}

// A fresh engine folder made from the bundled reference engine, and the real
// services around it; only the folder chooser and the file browser are scripted.
class WholeJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(
            std::system((std::string(TONFIELD_SOURCE_DIR) +
                         "/engines/reference/make_engine_folder.sh '" + engineRoot.string() + "'")
                            .c_str()),
            0);
        real.settings = adapters::QtSettings(toQString(temp / "settings.ini"));
        real.settings.setString("engineRoot", engineRoot.string());
    }

    ports::Services services()
    {
        return {real.clock,      real.ids,         real.settings,    dialogs,
                real.timers,     real.environment, real.grants,      real.launcher,
                real.audio,      fileBrowser,      real.waveforms,   real.trash,
                real.background, real.mixRenderer, real.songDecoder, real.songAnalyzer};
    }

    test::TempFolder temp;
    const fs::path engineRoot = temp / "Engine";
    adapters::QtServices real;
    test::ScriptedDialogs dialogs;
    test::RecordingFileBrowser fileBrowser;
};

TEST_F(WholeJob, DropStartPlayExportAndFindItAgain)
{
    const fs::path song = temp / "晴天 demo.m4a";
    ASSERT_TRUE(test::makeTone(song, 4.0));
    auto workbench = Workbench::create(services());
    ui::WorkbenchBridge bridge(*workbench);
    ui::MainWindow window(bridge, {});
    window.show();
    ASSERT_TRUE(workbench->ready());

    dropFile(*find(window, "sourcePanel"), song);
    find<QAbstractButton>(window, "four")->click();
    test::runUntil(
        [&] { return find<ui::ElidedLabel>(window, "fileName")->text() == "晴天 demo.m4a"; });
    find<QAbstractButton>(window, "start")->click();
    ASSERT_TRUE(workbench->busy()) << workbench->error().value_or("");
    ASSERT_TRUE(test::runUntil([&] { return !workbench->busy(); }, 300'000));

    const Job job = workbench->selectedJob().value();
    ASSERT_EQ(job.status, "done") << workbench->log();
    EXPECT_EQ(workbench->message(), "分轨完成，已生成 4 条独立音轨。");
    EXPECT_NE(workbench->log().find("模型就绪"), std::string::npos);
    // Every percentage the engine printed reads as the progress of its moment.
    const std::string rawLog = test::readFile(layout::logFile(engineRoot, job.id));
    std::vector<double> percents;
    for (auto sign = rawLog.find('%'); sign != std::string::npos; sign = rawLog.find('%', sign + 1))
        if (auto percent = progressPercent(rawLog.substr(0, sign + 1)))
            percents.push_back(*percent);
    ASSERT_FALSE(percents.empty()) << rawLog;
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100.0);
    test::runUntil([&] { return window.findChildren<QWidget*>("stemRow").size() == 4; });
    std::vector<QString> labels;
    for (QWidget* row : window.findChildren<QWidget*>("stemRow"))
        labels.push_back(row->findChild<ui::ElidedLabel*>("stemName")->text());
    EXPECT_EQ(labels, (std::vector<QString>{"贝斯", "鼓", "其他乐器", "人声"}));
    EXPECT_EQ(job.outputs->at(0).url,
              "/output/" + job.id + "/%E6%99%B4%E5%A4%A9%20demo_(Bass).wav");

    // Play the first stem until the position moves.
    window.findChildren<QAbstractButton*>("rowPlayButton")[0]->click();
    ASSERT_FALSE(workbench->error()) << *workbench->error();
    EXPECT_EQ(workbench->playingURL(), workbench->stems()[0].url);
    ASSERT_TRUE(test::runUntil([&] { return workbench->playbackTime() > 0.2; }));
    EXPECT_NEAR(workbench->playbackDuration(), 4.0, 0.1);

    dialogs.folderAnswers.push_back(temp / "exports");
    fs::create_directories(temp / "exports");
    find<QAbstractButton>(window, "exportAll")->click();
    ASSERT_EQ(fileBrowser.opened, std::vector<fs::path>{temp / "exports" / "晴天 demo · 分轨"});
    for (const Stem& stem : workbench->stems())
        EXPECT_EQ(test::readFile(fileBrowser.opened[0] / stem.url.filename()),
                  test::readFile(stem.url));

    // A new start of the application finds the job in its history.
    auto restarted = Workbench::create(services());
    ASSERT_EQ(restarted->jobs().size(), 1u);
    EXPECT_EQ(restarted->jobs()[0], job);
    EXPECT_EQ(decodeJob(test::readFile(layout::recordFile(engineRoot, job.id))), job);
}

// The power of one frequency in a mono 44.1 kHz recording (Goertzel).
double powerAt(const std::vector<std::int16_t>& samples, double hertz)
{
    const double coefficient = 2 * std::cos(2 * M_PI * hertz / 44100);
    double previous = 0, beforeThat = 0;
    for (const auto sample : samples) {
        const double now = sample / 32768.0 + coefficient * previous - beforeThat;
        beforeThat = previous;
        previous = now;
    }
    return previous * previous + beforeThat * beforeThat - coefficient * previous * beforeThat;
}

// A song whose voice (880 Hz) sits in the centre and whose band (220 Hz on
// the left, 330 Hz on the right) does not: separated by the reference engine,
// its mix with the "伴奏" preset must leave the voice out of what reaches the sink.
TEST_F(WholeJob, TheMixersAccompanimentLeavesTheVoiceOut)
{
    const fs::path song = temp / "song.wav";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i "
                           "'aevalsrc=0.3*sin(2*PI*880*t)+0.3*sin(2*PI*220*t)|"
                           "0.3*sin(2*PI*880*t)+0.3*sin(2*PI*330*t):s=44100:d=6' '" +
                           song.string() + "'")
                              .c_str()),
              0);
    auto workbench = Workbench::create(services());
    ui::WorkbenchBridge bridge(*workbench);
    ui::MainWindow window(bridge, {});
    window.show();
    workbench->importFile(song);
    ASSERT_TRUE(
        test::runUntil([&] { return find<QAbstractButton>(window, "start")->isEnabled(); }));
    find<QAbstractButton>(window, "start")->click();
    ASSERT_TRUE(workbench->busy()) << workbench->error().value_or("");
    ASSERT_TRUE(test::runUntil([&] { return !workbench->busy(); }, 300'000));
    ASSERT_EQ(workbench->stems().size(), 2u) << workbench->log();

    test::NullSinkMonitor monitor;
    ASSERT_TRUE(monitor.started());
    auto presets = [&] { return window.findChildren<QToolButton*>("preset"); };
    ASSERT_TRUE(test::runUntil([&] { return presets().size() == 3; }));
    auto heardWith = [&](int preset) {
        presets()[preset]->click();
        workbench->seek(1.0);
        std::vector<std::int16_t> heard;
        // Past what the sink held from before, then a second of the mix.
        QElapsedTimer settle;
        settle.start();
        test::runUntil([&] {
            monitor.samplesSinceLastCall();
            return settle.elapsed() > 700;
        });
        test::runUntil([&] {
            const auto more = monitor.samplesSinceLastCall();
            heard.insert(heard.end(), more.begin(), more.end());
            return heard.size() >= 44100;
        });
        return heard;
    };
    find<QAbstractButton>(window, "mixPlay")->click();
    ASSERT_TRUE(workbench->mixDesk().mixPlaying()) << workbench->error().value_or("");
    const auto all = heardWith(0);           // "全部"
    const auto accompaniment = heardWith(1); // "伴奏"
    const double voiceKept = powerAt(all, 880), voiceLeft = powerAt(accompaniment, 880);
    const double bandKept = powerAt(all, 220), bandLeft = powerAt(accompaniment, 220);
    EXPECT_GT(voiceKept, 0);
    EXPECT_LT(10 * std::log10(voiceLeft / voiceKept), -20) << "the voice is left out";
    EXPECT_GT(10 * std::log10(bandLeft / bandKept), -3) << "the band stays";
}

} // namespace
} // namespace tonfield
