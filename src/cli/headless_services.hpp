// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "adapters/qt_adapters.hpp"
#include "adapters/song_analyzer.hpp"
#include "adapters/song_decoder.hpp"

#include <optional>

namespace tonfield::cli {

// The stored settings, with the engine folder given on the command line in
// front of the stored one. A run with --engine writes nothing: it does not
// change the window's engine folder. Without it, the only write is a first
// run's engine folder, which the window then finds too.
class CommandLineSettings final : public ports::Settings {
public:
    std::optional<std::filesystem::path> engineRoot;

    std::optional<std::string> string(const std::string& key) override
    {
        if (key == ports::engineRootSetting && engineRoot)
            return engineRoot->string();
        return stored_.string(key);
    }
    void setString(const std::string& key, const std::string& value) override
    {
        if (!engineRoot)
            stored_.setString(key, value);
    }

private:
    adapters::QtSettings stored_;
};

// No one to ask: the folder chooser answers the export folder given on the
// command line, every other chooser is cancelled.
class CommandLineDialogs final : public ports::Dialogs {
public:
    std::optional<std::filesystem::path> exportFolder;

    std::optional<std::filesystem::path> chooseFolder(const ports::FolderRequest&) override
    {
        return exportFolder;
    }
    std::optional<std::filesystem::path> chooseAudioFile() override { return std::nullopt; }
    std::vector<std::filesystem::path> chooseAudioFiles() override { return {}; }
    std::optional<std::filesystem::path> chooseSaveFileOfType(const std::string&,
                                                              const std::vector<std::string>&,
                                                              const std::string&) override
    {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> chooseSaveFile(const std::string&,
                                                        const std::string&) override
    {
        return std::nullopt;
    }
};

// Instead of opening a file browser, remember the folder to print it.
class ReportedFolder final : public ports::FileBrowser {
public:
    std::optional<std::filesystem::path> folder;
    void openFolder(const std::filesystem::path& opened) override { folder = opened; }
};

// The command line shows no mixer: the stems' overviews are not measured.
class NoWaveforms final : public ports::Waveforms {
public:
    void request(const std::filesystem::path&, std::function<void(mixer::Overview)>) override {}
};

// The command line plays nothing and mixes nothing; it does not link the
// sound adapters at all, so it starts without Qt Multimedia.
class NoSound final : public ports::AudioOutput, public ports::MixRenderer {
public:
    static constexpr const char* reason = "the command line plays and mixes no sound";
    ports::Made<ports::AudioPlayer> open(const std::filesystem::path&) override
    {
        return ports::Made<ports::AudioPlayer>::failed(reason);
    }
    ports::Made<ports::MixPlayer> openMix(const std::vector<std::filesystem::path>&) override
    {
        return ports::Made<ports::MixPlayer>::failed(reason);
    }
    Result<> render(const ports::MixRender&, const std::filesystem::path&,
                    const std::function<bool(double)>&) override
    {
        return Result<>::failed(reason);
    }
};

// Every service of a headless Workbench: the real adapters that need no
// window, and the stand-ins above.
struct HeadlessServices {
    adapters::QtClock clock;
    adapters::QtIdSource ids;
    CommandLineSettings settings;
    CommandLineDialogs dialogs;
    adapters::QtTimers timers;
    adapters::QtAppEnvironment environment;
    adapters::QtAccessGrants grants;
    adapters::QtProcessLauncher launcher;
    NoSound sound;
    NoWaveforms waveforms;
    ReportedFolder fileBrowser;
    adapters::FreedesktopTrash trash;
    adapters::QtBackgroundWork background;
    adapters::FfmpegSongDecoder songDecoder;
    adapters::QmDspSongAnalyzer songAnalyzer;

    ports::Services services()
    {
        return {clock,      ids,      settings,    dialogs,     timers,    environment,
                grants,     launcher, sound,       fileBrowser, waveforms, trash,
                background, sound,    songDecoder, songAnalyzer};
    }
};

} // namespace tonfield::cli
