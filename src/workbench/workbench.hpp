// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/engine_description.hpp"
#include "model/job.hpp"
#include "model/job_library.hpp"
#include "model/job_store.hpp"
#include "model/progress.hpp"
#include "model/result.hpp"
#include "model/separation_mode.hpp"
#include "model/stem.hpp"
#include "workbench/engine_manager/engine_manager.hpp"
#include "workbench/field_publisher.hpp"
#include "workbench/job_queue/job_queue.hpp"
#include "workbench/log_handle.hpp"
#include "workbench/mix_desk/mix_desk.hpp"
#include "workbench/song_timeline/song_timeline.hpp"
#include "workbench/stored_jobs/stored_jobs.hpp"

#include "ports/services.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonfield {

// The one controller behind the window. It holds every value the window shows
// and offers every operation the window calls. Operations take no callbacks and
// return nothing: failures land in `error` or `message`. Five parts stand
// beside it, composed here and reached through it: the mix desk (the stems
// heard together), the job queue (songs waiting their turn), the stored
// jobs (their space on disk, deleting them, running one again), the
// engine manager (the engines it can set up, and which is in use) and the
// song timeline (the shown job's beats, bars, key and chords). Their fields
// are announced to the Workbench's observers, as its own are.
//
// Threading: main thread only. The timer reaches it through a weak handle, so
// a late firing after destruction does nothing.
class Workbench : public std::enable_shared_from_this<Workbench> {
public:
    using Field = WorkbenchField;
    static constexpr std::size_t fieldCount = workbenchFieldCount;
    using Observer = FieldPublisher::Observer;

    static constexpr double pollIntervalSeconds = 0.4;
    static constexpr std::size_t logWindowBytes = 24'000;

    // Builds a Workbench and runs its start-up sequence: locate the engine
    // folder, load the history, arm the poll timer.
    static std::shared_ptr<Workbench> create(ports::Services services);

    // The application's single instance, built with the real adapters on first
    // use. Defined by the application; nothing in the core or its tests calls it.
    static Workbench& shared();

    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    // Each assignment of an observable field calls every observer with the
    // field, after the new value is in place.
    int subscribe(Observer observer) { return publisher_.subscribe(std::move(observer)); }
    void unsubscribe(int subscription) { publisher_.unsubscribe(subscription); }

    MixDesk& mixDesk() { return mixDesk_; }
    const MixDesk& mixDesk() const { return mixDesk_; }
    JobQueue& jobQueue() { return jobQueue_; }
    const JobQueue& jobQueue() const { return jobQueue_; }
    SongTimeline& songTimeline() { return songTimeline_; }
    const SongTimeline& songTimeline() const { return songTimeline_; }
    StoredJobs& storedJobs() { return storedJobs_; }
    const StoredJobs& storedJobs() const { return storedJobs_; }
    EngineManager& engineManager() { return engineManager_; }
    const EngineManager& engineManager() const { return engineManager_; }

    const std::optional<std::filesystem::path>& engineRoot() const { return engineRoot_; }
    const std::optional<std::filesystem::path>& source() const { return source_; }
    SeparationMode mode() const { return mode_; }
    const std::string& format() const { return format_; }
    bool highQuality() const { return highQuality_; }
    const std::vector<Job>& jobs() const { return jobs_; }
    const std::optional<Job>& selectedJob() const { return selectedJob_; }
    const std::vector<Stem>& stems() const { return stems_; }
    bool busy() const { return busy_; }
    const std::string& message() const { return message_; }
    const std::string& log() const { return log_; }
    bool showHistory() const { return showHistory_; }
    double elapsed() const { return elapsed_; }
    const std::optional<std::filesystem::path>& playingURL() const { return playingURL_; }
    // The file the player is bound to, playing or paused; absent when stopped
    // or when it holds the mix.
    std::optional<std::filesystem::path> loadedFile() const
    {
        return player_ && !mixDesk_.mixLoaded() ? std::optional<std::filesystem::path>(playerFile_)
                                                : std::nullopt;
    }
    double playbackTime() const { return playbackTime_; }
    double playbackDuration() const { return playbackDuration_; }
    const std::optional<std::string>& error() const { return error_; }
    // True while a first run makes an engine folder from the installed one.
    bool preparingEngine() const { return preparingEngine_; }
    // The running job's last printed percentage, while its engine prints one.
    const std::optional<double>& progress() const { return progress_; }
    // Seconds the running job still needs, once its percentage has grown.
    const std::optional<double>& timeLeft() const { return timeLeft_; }

    // Fields the window sets directly.
    void setMode(SeparationMode mode);
    void setFormat(std::string format);
    void setHighQuality(bool highQuality);
    void setShowHistory(bool showHistory);
    void setError(std::optional<std::string> error);

    // Whether a job can be started with the current engine folder; asks the
    // file system at every read.
    bool ready() const;
    // What the engine in use says of itself in its engine.json, read when the
    // engine folder changes; absent for a folder that does not describe itself.
    const std::optional<engine::Description>& engineDescription() const
    {
        return engineDescription_;
    }
    // Whether the engine in use can separate this way: every engine that
    // does not describe itself is taken to do all three.
    bool engineSupports(SeparationMode mode) const;
    // The selected job's output folder, whether or not it exists.
    std::optional<std::filesystem::path> activeFolder() const;

    // State and engine location; history and records.
    void chooseEngine();
    void loadHistory();
    void save(const Job& job);

    // Import.
    void chooseFile();
    void importFile(const std::filesystem::path& file);

    // A run: launch, monitoring, its end.
    void start();
    void tick();
    void readLog();
    void finished(const std::string& jobID, int code);
    void cancel();
    void terminateForExit();

    // Selection and stems.
    void select(Job job);
    void refreshStems();

    // Playback of one file; seek and stopPlayback act on the mix too.
    void play(const std::filesystem::path& file);
    void stopPlayback();
    void seek(double seconds);

    // Export. (`export` is a reserved word in C++.)
    void exportStem(const Stem& stem);
    void exportAll();

private:
    // The desk plays through the player; the queue launches its jobs as
    // `start` does; the stored jobs leave the job shown when it is deleted;
    // the engine manager makes an engine's folder the one in use.
    friend class MixDesk;
    friend class JobQueue;
    friend class StoredJobs;
    friend class EngineManager;

    static constexpr const char* initialMessage = "导入音乐，探索每一层声音。";
    static constexpr const char* sourceReadyMessage = "音频已就绪，选择模型后开始分轨。";
    static constexpr const char* quitMessage = "App 已退出，任务取消";
    static constexpr const char* downloadMessage = "正在下载模型权重（仅首次使用）…";

    explicit Workbench(ports::Services services);

    // Start-up and the engine folder.
    void startUp();
    std::optional<std::filesystem::path> locateEngineRoot();
    std::filesystem::path absoluteEngineRoot(const std::filesystem::path& folder);
    void prepareEngineFromTemplate();
    void refreshEngineFromTemplate();
    void runTemplateSetup(const std::filesystem::path& engineTemplate,
                          const std::filesystem::path& folder, const std::string& templateIdentity);
    void engineSetupEnded(const std::filesystem::path& folder, const std::string& templateIdentity,
                          int status);
    // Every change of the engine folder goes through here.
    void setEngineRoot(const std::filesystem::path& root);
    // A folder chosen by the user or the engine manager becomes the engine
    // folder: stored, the job shown left, its history read.
    void adoptEngineFolder(const std::filesystem::path& root);

    // A run's launch and its following.
    Job newRecord(const std::filesystem::path& file, std::string_view status, std::string message);
    Result<std::filesystem::path> prepareJobFolder(const Job& record,
                                                   const std::filesystem::path& file);
    // Who starts a run: the user's "开始分轨" takes the window to the run;
    // the queue moving on leaves the page and a preview as they are.
    enum class LaunchedBy { user, queue };
    void launch(Job record, const std::filesystem::path& inputCopy, LaunchedBy by);
    void failLaunch(Job record, const std::string& description);
    void followProgress();

    // The job shown, and one that is gone.
    void leaveSelectedJob();
    void deselectJob();
    void forgetJob(const std::string& id);

    void followPlayback();

    ports::Services services_;
    FieldPublisher publisher_;

    // Observable fields, in declaration order.
    std::optional<std::filesystem::path> engineRoot_;
    std::optional<std::filesystem::path> source_;
    SeparationMode mode_ = SeparationMode::vocal;
    std::string format_ = "WAV";
    bool highQuality_ = false;
    std::vector<Job> jobs_;
    std::optional<Job> selectedJob_;
    std::vector<Stem> stems_;
    bool busy_ = false;
    std::string message_ = initialMessage;
    std::string log_;
    bool showHistory_ = false;
    double elapsed_ = 0;
    std::optional<std::filesystem::path> playingURL_;
    double playbackTime_ = 0;
    double playbackDuration_ = 0;
    std::optional<std::string> error_;
    bool preparingEngine_ = false;
    std::optional<double> progress_;
    std::optional<double> timeLeft_;

    // The run: the engine, its log, the id of the job it runs, and how fast
    // its percentage grows.
    std::unique_ptr<ports::RunningProcess> process_;
    std::optional<LogHandle> logHandle_;
    std::optional<std::string> activeID_;
    RemainingTime remaining_;
    double previousPoll_ = 0;

    // The poll timer.
    std::unique_ptr<ports::RepeatingTimer> timer_;

    // The one player: a file previewed, or the desk's mix.
    std::unique_ptr<ports::AudioPlayer> player_;
    std::filesystem::path playerFile_; // the file player_ is bound to, unless it holds the mix

    // The source's access grant, while held.
    bool sourceScope_ = false;

    // The history, which remembers the records it has decoded.
    HistoryReader history_;

    // The first run's engine set-up, while it runs.
    std::unique_ptr<ports::RunningProcess> engineSetup_;
    std::optional<engine::Description> engineDescription_; // of engineRoot_

    // The parts, last: they read the fields above, and go first.
    MixDesk mixDesk_{*this, services_, publisher_};
    JobQueue jobQueue_{*this, services_, publisher_};
    StoredJobs storedJobs_{*this, services_, publisher_};
    EngineManager engineManager_{*this, services_, publisher_};
    SongTimeline songTimeline_{*this, services_, publisher_};
};

} // namespace tonfield
