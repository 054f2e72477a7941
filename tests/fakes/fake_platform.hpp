// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Hand-written stand-ins for the platform services, for tests of the core.

#include "ports/services.hpp"

#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <set>
#include <tuple>
#include <vector>

namespace tonfield::test {

struct ManualClock final : ports::Clock {
    double now = 1'733'500'000.25;
    std::function<void()> onRead; // lets a test see when the time is taken
    double nowSeconds() override
    {
        if (onRead)
            onRead();
        return now;
    }
};

struct SequentialIds final : ports::IdSource {
    int next = 1;
    std::string newUuid() override
    {
        char text[37];
        std::snprintf(text, sizeof text, "c0ffee%02x-0000-4000-8000-%012d", next % 256, next);
        ++next;
        return text;
    }
};

struct MemorySettings final : ports::Settings {
    std::map<std::string, std::string> values;
    std::optional<std::string> string(const std::string& key) override
    {
        auto it = values.find(key);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
    void setString(const std::string& key, const std::string& value) override
    {
        values[key] = value;
    }
};

// Answers each chooser with the next scripted answer (cancel when none is
// left) and remembers what was asked.
struct ScriptedDialogs final : ports::Dialogs {
    std::deque<std::optional<std::filesystem::path>> folderAnswers;
    std::vector<ports::FolderRequest> folderRequests;
    std::deque<std::optional<std::filesystem::path>> fileAnswers;
    int fileRequests = 0;

    std::deque<std::optional<std::filesystem::path>> saveAnswers;
    std::vector<std::pair<std::string, std::string>> saveRequests; // name, extension

    std::optional<std::filesystem::path> chooseSaveFile(const std::string& suggestedName,
                                                        const std::string& extension) override
    {
        saveRequests.emplace_back(suggestedName, extension);
        if (saveAnswers.empty())
            return std::nullopt;
        auto answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }

    std::vector<std::tuple<std::string, std::vector<std::string>, std::string>> typedSaveRequests;
    std::optional<std::filesystem::path> chooseSaveFileOfType(const std::string& suggestedName,
                                                              const std::vector<std::string>& types,
                                                              const std::string& chosen) override
    {
        typedSaveRequests.emplace_back(suggestedName, types, chosen);
        if (saveAnswers.empty())
            return std::nullopt;
        auto answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }

    std::optional<std::filesystem::path> chooseAudioFile() override
    {
        ++fileRequests;
        if (fileAnswers.empty())
            return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }

    std::deque<std::vector<std::filesystem::path>> filesAnswers;
    std::vector<std::filesystem::path> chooseAudioFiles() override
    {
        if (filesAnswers.empty())
            return {};
        auto answer = filesAnswers.front();
        filesAnswers.pop_front();
        return answer;
    }

    std::optional<std::filesystem::path> chooseFolder(const ports::FolderRequest& request) override
    {
        folderRequests.push_back(request);
        if (folderAnswers.empty())
            return std::nullopt;
        auto answer = folderAnswers.front();
        folderAnswers.pop_front();
        return answer;
    }
};

// A timer that fires only when the test says so.
struct ManualTimers final : ports::Timers {
    struct Armed {
        double intervalSeconds;
        std::function<void()> onFire;
        bool alive = true;
    };
    std::vector<std::shared_ptr<Armed>> armed;

    class Handle final : public ports::RepeatingTimer {
    public:
        explicit Handle(std::shared_ptr<Armed> timer)
            : timer_(std::move(timer))
        {
        }
        ~Handle() override { timer_->alive = false; }

    private:
        std::shared_ptr<Armed> timer_;
    };

    std::unique_ptr<ports::RepeatingTimer> startRepeating(double intervalSeconds,
                                                          std::function<void()> onFire) override
    {
        armed.push_back(std::make_shared<Armed>(Armed{intervalSeconds, std::move(onFire)}));
        return std::make_unique<Handle>(armed.back());
    }

    // Fires every timer, including one whose owner is gone: the callback itself
    // must cope with that, as a queued task may outlive its owner.
    void fireAll()
    {
        for (const auto& timer : armed)
            timer->onFire();
    }
};

struct FakeEnvironment final : ports::AppEnvironment {
    std::filesystem::path applicationFolderPath = "/nonexistent/app";
    std::optional<std::filesystem::path> builtIn;
    std::filesystem::path currentDirectoryPath = "/nonexistent/cwd";
    std::optional<std::filesystem::path> installedTemplate;
    std::filesystem::path dataFolder = "/nonexistent/data/Tonfield";

    std::filesystem::path applicationFolder() override { return applicationFolderPath; }
    std::optional<std::filesystem::path> builtInEngineRoot() override { return builtIn; }
    std::filesystem::path currentDirectory() override { return currentDirectoryPath; }
    std::optional<std::filesystem::path> engineTemplate() override { return installedTemplate; }
    std::map<std::string, std::filesystem::path> templates;
    std::map<std::string, std::filesystem::path> engineTemplates() override { return templates; }
    std::set<std::string> installedPackages;
    bool packageInstalled(const std::string& package) override
    {
        return installedPackages.contains(package);
    }
    std::filesystem::path userDataFolder() override { return dataFolder; }

    std::map<std::string, std::string> variables{{"HOME", "/home/test"}, {"PYTHONUNBUFFERED", "0"}};
    std::map<std::string, std::string> environment() override { return variables; }
};

// Records every grant taken and given back, in order: "+path" and "-path".
struct RecordingGrants final : ports::AccessGrants {
    bool grant = true;
    std::vector<std::string> events;
    bool start(const std::filesystem::path& file) override
    {
        events.push_back("+" + file.string());
        return grant;
    }
    void stop(const std::filesystem::path& file) override { events.push_back("-" + file.string()); }
};

// Launches nothing: remembers the request, and lets the test end the "engine"
// with any status through exit().
struct FakeLauncher final : ports::ProcessLauncher {
    struct Launch {
        engine::Invocation invocation;
        int outputFile;
        std::function<void(int)> onExit;
        int terminateRequests = 0;
    };
    std::vector<std::shared_ptr<Launch>> launches;
    std::string failure; // when set, every launch fails with it
    int lastOutputFile = -1;

    class Process final : public ports::RunningProcess {
    public:
        explicit Process(std::shared_ptr<Launch> launch)
            : launch_(std::move(launch))
        {
        }
        void terminate() override { ++launch_->terminateRequests; }

    private:
        std::shared_ptr<Launch> launch_;
    };

    ports::Made<ports::RunningProcess> launch(const engine::Invocation& invocation, int outputFile,
                                              std::function<void(int)> onExit) override
    {
        lastOutputFile = outputFile;
        if (!failure.empty())
            return ports::Made<ports::RunningProcess>::failed(failure);
        launches.push_back(
            std::make_shared<Launch>(Launch{invocation, outputFile, std::move(onExit)}));
        return ports::Made<ports::RunningProcess>(std::make_unique<Process>(launches.back()));
    }

    Launch& last() { return *launches.back(); }
    // The engine's exit, as the event loop would deliver it.
    void exit(int status) { last().onExit(status); }
};

// Players whose clock the test moves by hand.
struct FakeAudio final : ports::AudioOutput {
    struct State {
        std::filesystem::path file;
        double duration = 0;
        double position = 0;
        bool playing = false;
        bool alive = true;
        std::vector<std::filesystem::path> mixed; // the files of a mix
        std::vector<float> gains;
        std::optional<mixer::Loop> loop;
        mixer::Tempo tempo;
        std::optional<mixer::ClickTrack> click;
        int countIns = 0; // plays asked to count in first
    };
    std::map<std::filesystem::path, double> durations; // files that open, with their lengths
    std::vector<std::shared_ptr<State>> opened;

    class Player final : public ports::MixPlayer {
    public:
        explicit Player(std::shared_ptr<State> state)
            : state_(std::move(state))
        {
        }
        ~Player() override { state_->alive = false; }
        double durationSeconds() const override { return state_->duration; }
        void play() override { state_->playing = true; }
        void pause() override { state_->playing = false; }
        void stop() override { state_->playing = false; }
        double currentTimeSeconds() const override { return state_->position; }
        void setCurrentTimeSeconds(double seconds) override { state_->position = seconds; }
        bool isPlaying() const override { return state_->playing; }
        void setGains(const std::vector<float>& gains) override { state_->gains = gains; }
        void setTempo(const mixer::Tempo& tempo) override { state_->tempo = tempo; }
        void setClick(const mixer::ClickTrack& track) override { state_->click = track; }
        void playCountingIn() override
        {
            ++state_->countIns;
            play();
        }
        void setLoop(const std::optional<mixer::Loop>& loop) override
        {
            state_->loop = loop;
            if (loop && !loop->contains(state_->position))
                state_->position = loop->start;
        }

    private:
        std::shared_ptr<State> state_;
    };

    ports::Made<ports::AudioPlayer> open(const std::filesystem::path& file) override
    {
        auto it = durations.find(file);
        if (it == durations.end())
            return ports::Made<ports::AudioPlayer>::failed(
                file.string() + ": Invalid data found when processing input");
        auto state = std::make_shared<State>();
        state->file = file;
        state->duration = it->second;
        opened.push_back(state);
        return ports::Made<ports::AudioPlayer>(std::make_unique<Player>(state));
    }

    ports::Made<ports::MixPlayer> openMix(const std::vector<std::filesystem::path>& files) override
    {
        auto state = std::make_shared<State>();
        for (const auto& file : files) {
            auto it = durations.find(file);
            if (it == durations.end())
                return ports::Made<ports::MixPlayer>::failed(
                    file.string() + ": Invalid data found when processing input");
            state->duration = std::max(state->duration, it->second);
        }
        state->mixed = files;
        opened.push_back(state);
        return ports::Made<ports::MixPlayer>(std::make_unique<Player>(state));
    }
};

// Overviews the test hands out by hand: requests wait until deliver().
struct ManualWaveforms final : ports::Waveforms {
    std::vector<std::pair<std::filesystem::path, std::function<void(mixer::Overview)>>> requests;
    void request(const std::filesystem::path& file,
                 std::function<void(mixer::Overview)> ready) override
    {
        requests.emplace_back(file, std::move(ready));
    }
};

struct RecordingFileBrowser final : ports::FileBrowser {
    std::vector<std::filesystem::path> opened;
    void openFolder(const std::filesystem::path& folder) override { opened.push_back(folder); }
};

// A trash that is a plain folder: moved paths land in `folder` under the
// name they are shown by, as the desktop's trash files them; `refused` lists
// paths whose move fails.
struct FolderTrash final : ports::Trash {
    std::filesystem::path folder;
    bool isAvailable = true;
    std::vector<std::filesystem::path> refused;
    std::vector<std::filesystem::path> moved;
    std::vector<std::string> shownNames;

    bool available(const std::filesystem::path&) override { return isAvailable; }
    Result<> moveToTrash(const std::filesystem::path& path, const std::string& shownName) override
    {
        if (std::find(refused.begin(), refused.end(), path) != refused.end())
            return Result<>::failed(path.string() + ": Permission denied");
        if (folder.empty()) // the folder the tests run in would collect what they delete
            return Result<>::failed("FolderTrash: no folder set");
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        // As the desktop's trash names a second entry of one name: "name.2".
        const std::string name = shownName.empty() ? path.filename().string() : shownName;
        std::filesystem::path landed = folder / name;
        for (int n = 2; std::filesystem::exists(landed); ++n)
            landed = folder / (name + "." + std::to_string(n));
        std::filesystem::rename(path, landed, ec);
        if (ec)
            return Result<>::failed(path.string() + ": " + ec.message());
        moved.push_back(path);
        shownNames.push_back(shownName);
        return Result<>::done();
    }
};

// Background work the test runs by hand: runAll() does every waiting piece
// of work, then its main-thread part.
struct ManualBackground final : ports::BackgroundWork {
    std::vector<std::function<std::function<void()>()>> waiting;
    void run(std::function<std::function<void()>()> work) override
    {
        waiting.push_back(std::move(work));
    }
    void runAll()
    {
        auto taken = std::move(waiting);
        waiting.clear();
        for (auto& work : taken)
            work()();
    }
};

// Writes what it was asked to mix as text, reporting progress in tenths; a
// `failure` fails it, `stopAfter` tenths stop it as a cancelled render does.
struct TextMixRenderer final : ports::MixRenderer {
    std::string failure;
    int stopAfter = 10;
    std::vector<ports::MixRender> renders;

    Result<> render(const ports::MixRender& mix, const std::filesystem::path& file,
                    const std::function<bool(double)>& progress) override
    {
        renders.push_back(mix);
        std::string text(rawValue(mix.format));
        for (std::size_t i = 0; i < mix.stems.size(); ++i)
            text += "\n" + mix.stems[i].filename().string() + " " + std::to_string(mix.gains[i]);
        std::ofstream(file, std::ios::binary) << text;
        for (int tenth = 1; tenth <= 10; ++tenth)
            if (tenth > stopAfter || !progress(tenth / 10.0))
                return Result<>::failed("已取消");
        if (!failure.empty())
            return Result<>::failed(failure);
        return Result<>::done();
    }
};

// Songs the test made in memory, by the path they stand for. As FFmpeg
// answers: a missing file fails, and so does one that holds no song the
// test made.
struct MemorySongDecoder final : ports::SongDecoder {
    std::map<std::filesystem::path, std::vector<float>> songs;
    std::vector<std::filesystem::path> decoded;

    Result<std::vector<float>> decodeMono(const std::filesystem::path& file) override
    {
        decoded.push_back(file);
        std::error_code ec;
        if (!std::filesystem::exists(file, ec))
            return Result<std::vector<float>>::failed(file.string() +
                                                      ": No such file or directory");
        const auto found = songs.find(file);
        if (found == songs.end())
            return Result<std::vector<float>>::failed(file.string() +
                                                      ": Invalid data found when processing input");
        return found->second;
    }
};

// The real analysis, linked rather than loaded.
struct LinkedSongAnalyzer final : ports::SongAnalyzer {
    Result<analysis::MusicalAnalysis> analyze(const analysis::AnalysisSources& sources) override
    {
        return analysis::analyze(sources);
    }
};

struct FakePlatform {
    ManualClock clock;
    SequentialIds ids;
    MemorySettings settings;
    ScriptedDialogs dialogs;
    ManualTimers timers;
    FakeEnvironment environment;
    RecordingGrants grants;
    FakeLauncher launcher;
    FakeAudio audio;
    RecordingFileBrowser fileBrowser;
    ManualWaveforms waveforms;
    FolderTrash trash;
    ManualBackground background;
    TextMixRenderer mixRenderer;
    MemorySongDecoder songDecoder;
    LinkedSongAnalyzer songAnalyzer;

    // Fakes throughout, or a real process launcher in place of the fake one.
    ports::Services services(ports::ProcessLauncher* realLauncher = nullptr)
    {
        return {clock,      ids,         settings,    dialogs,
                timers,     environment, grants,      realLauncher ? *realLauncher : launcher,
                audio,      fileBrowser, waveforms,   trash,
                background, mixRenderer, songDecoder, songAnalyzer};
    }
};

} // namespace tonfield::test
