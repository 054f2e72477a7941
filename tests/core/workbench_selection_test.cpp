// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/stem_listing.hpp"

#include "fakes/sample_job.hpp"
#include "fakes/workbench_fixture.hpp"

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using Field = Workbench::Field;

std::vector<std::string> namesOf(const std::vector<Stem>& stems)
{
    std::vector<std::string> names;
    for (const Stem& stem : stems)
        names.push_back(stem.url.filename().string());
    return names;
}

TEST(StemListing, KeepsStemExtensionsInCodePointOrderOfTheNfcName)
{
    test::TempFolder folder;
    for (const char* name : {"b.WAV", "a.Flac", "c.ogg", "d.m4a", "notes.txt", ".DS_Store",
                             "x_(Vocals).wav", "._x_(Vocals).wav", "Vocals.wav", "vocals.wav",
                             "track10.mp3", "track9.mp3", "\xC3\xA9t\xC3\xA9.wav" /* NFC é */,
                             "e\xCC\x81"
                             "a.wav" /* NFD é */,
                             "noext", "\xFF.wav"})
        test::writeFile(folder / name, "");
    fs::create_directories(folder / "more.wav");

    EXPECT_EQ(
        namesOf(listStems(folder.path())),
        (std::vector<std::string>{"._x_(Vocals).wav", "Vocals.wav", "a.Flac", "b.WAV", "more.wav",
                                  "track10.mp3", "track9.mp3", "vocals.wav", "x_(Vocals).wav",
                                  "e\xCC\x81"
                                  "a.wav",
                                  "\xC3\xA9t\xC3\xA9.wav", "\xFF.wav"}));
    EXPECT_TRUE(listStems(folder / "missing").empty());
}

class WorkbenchSelection : public test::WorkbenchFixture {
protected:
    Job storedJob(std::string mode, std::string quality)
    {
        Job job = test::sampleJob(std::string(32, 'e'));
        job.mode = std::move(mode);
        job.format = "MP3";
        job.quality = std::move(quality);
        job.status = "error";
        job.message = "分轨失败，请展开运行日志查看原因。";
        return job;
    }
};

TEST_F(WorkbenchSelection, SelectRestoresTheJobsSettingsStemsAndLog)
{
    Job job = storedJob("six", "high");
    test::writeFile(layout::outputFolder(engineRoot(), job.id) / "x_(Drums).wav", "");
    test::writeFile(layout::outputFolder(engineRoot(), job.id) / "x_(Bass).wav", "");
    test::writeFile(layout::logFile(engineRoot(), job.id), "line\rredrawn");
    workbench->setShowHistory(true);
    changes.clear();

    workbench->select(job);
    EXPECT_EQ(workbench->selectedJob(), job);
    EXPECT_EQ(workbench->mode(), SeparationMode::six);
    EXPECT_EQ(workbench->format(), "MP3");
    EXPECT_TRUE(workbench->highQuality());
    EXPECT_FALSE(workbench->showHistory());
    EXPECT_EQ(workbench->message(), job.message);
    EXPECT_EQ(namesOf(workbench->stems()),
              (std::vector<std::string>{"x_(Bass).wav", "x_(Drums).wav"}));
    EXPECT_EQ(workbench->log(), "line\nredrawn");
    EXPECT_EQ(workbench->activeFolder(), layout::outputFolder(engineRoot(), job.id));
    EXPECT_EQ(changes, (std::vector<Field>{Field::playingURL, Field::playbackTime,
                                           Field::playbackDuration, Field::selectedJob, Field::mode,
                                           Field::format, Field::highQuality, Field::showHistory,
                                           Field::message, Field::stems, Field::log}));

    workbench->select(storedJob("FOUR", "High"));
    EXPECT_EQ(workbench->mode(), SeparationMode::vocal);
    EXPECT_FALSE(workbench->highQuality());
    EXPECT_EQ(workbench->format(), "MP3");
}

TEST_F(WorkbenchSelection, ImportChecksOnlyTheLastExtension)
{
    for (const char* refused : {"track.opus", "track.caf", "track.mp4", "track", "wav"}) {
        workbench->importFile(temp / refused);
        EXPECT_EQ(workbench->error(), "请选择 MP3、WAV、FLAC、M4A 等音频文件。") << refused;
        EXPECT_FALSE(workbench->source());
        workbench->setError(std::nullopt);
    }

    workbench->setShowHistory(true);
    workbench->setError("earlier");
    changes.clear();
    workbench->importFile(temp / "Track.MP3");
    EXPECT_EQ(workbench->source(), temp / "Track.MP3");
    EXPECT_EQ(workbench->error(), "earlier") << "an accepted import leaves error alone";
    EXPECT_EQ(workbench->message(), "音频已就绪，选择模型后开始分轨。");
    EXPECT_EQ(changes, (std::vector<Field>{Field::source, Field::showHistory, Field::message}));

    workbench->importFile(temp / "archive.tar.wav");
    workbench->importFile(temp / "archive.tar.wav");
    workbench->importFile(temp / "song.flac.txt");
    EXPECT_EQ(workbench->source(), temp / "archive.tar.wav");
    const std::string a = (temp / "Track.MP3").string(), b = (temp / "archive.tar.wav").string();
    EXPECT_EQ(platform.grants.events,
              (std::vector<std::string>{"+" + a, "-" + a, "+" + b, "-" + b, "+" + b}));

    platform.dialogs.fileAnswers.push_back(temp / "picked.aiff");
    workbench->chooseFile();
    EXPECT_EQ(workbench->source(), temp / "picked.aiff");
    workbench->chooseFile(); // cancelled
    EXPECT_EQ(workbench->source(), temp / "picked.aiff");
}

} // namespace
} // namespace tonfield
