// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job.hpp"
#include "model/job_library.hpp"
#include "model/job_store.hpp"
#include "model/progress.hpp"
#include "model/result.hpp"
#include "model/separation_mode.hpp"
#include "model/stem.hpp"
#include "workbench/log_handle.hpp"

#include "mixer/loop.hpp"
#include "mixer/presets.hpp"
#include "mixer/strip.hpp"
#include "ports/services.hpp"

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tonfield {

// The mix being written into a file, or the last one written.
struct MixExport {
    bool running = false;
    double fraction = 0;                       // done so far, while running
    std::optional<std::filesystem::path> file; // the last mix written, once complete

    bool operator==(const MixExport&) const = default;
};

// The one controller behind the window. It holds every value the window shows
// and offers every operation the window calls. Operations take no callbacks and
// return nothing: failures land in `error` or `message`.
//
// Threading: main thread only. The timer reaches it through a weak handle, so
// a late firing after destruction does nothing.
class Workbench : public std::enable_shared_from_this<Workbench> {
public:
    // The observable fields, in declaration order.
    enum class Field {
        engineRoot,
        source,
        mode,
        format,
        highQuality,
        jobs,
        selectedJob,
        stems,
        busy,
        message,
        log,
        showHistory,
        elapsed,
        playingURL,
        playbackTime,
        playbackDuration,
        error,
        preparingEngine,
        mixStrips,
        mixPlaying,
        waveforms,
        progress,
        timeLeft,
        diskUsage,
        queue,
        mixExport,
        loop,
        tempo,
    };
    static constexpr std::size_t fieldCount = static_cast<std::size_t>(Field::tempo) + 1;
    using Observer = std::function<void(Field)>;

    static constexpr double pollIntervalSeconds = 0.4;
    static constexpr std::size_t logWindowBytes = 24'000;

    // Builds a Workbench and runs its start-up sequence: locate the engine
    // folder, load the history, arm the poll timer.
    static std::shared_ptr<Workbench> create(ports::Services services);

    // The application's single instance, built with the real adapters on first
    // use. Defined by the application; nothing in the core or its tests calls it.
    static Workbench& shared();

    // Stops a mix still being written.
    ~Workbench();
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    // Each assignment of an observable field calls every observer with the
    // field, after the new value is in place.
    int subscribe(Observer observer);
    void unsubscribe(int subscription);

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
        return player_ && !mix_ ? std::optional<std::filesystem::path>(playerFile_) : std::nullopt;
    }
    double playbackTime() const { return playbackTime_; }
    double playbackDuration() const { return playbackDuration_; }
    const std::optional<std::string>& error() const { return error_; }
    // True while a first run makes an engine folder from the installed one.
    bool preparingEngine() const { return preparingEngine_; }
    // The mixer's strips for the selected job's stems, one per stem in order.
    const std::vector<mixer::StripSettings>& mixStrips() const { return mixStrips_; }
    // Whether the mix of the selected job's stems is sounding.
    bool mixPlaying() const { return mixPlaying_; }
    // Whether the player holds the mix (sounding or paused).
    bool mixLoaded() const { return mix_ != nullptr; }
    // How long the mix of the selected job's stems lasts, as far as their
    // overviews have told (the longest stem): shown before it is played.
    double mixLength() const;
    // A stem's overview for the mixer, once measured; null until then.
    const std::vector<float>* waveform(const std::filesystem::path& file) const
    {
        auto found = waveforms_.find(file);
        return found == waveforms_.end() ? nullptr : &found->second.peaks;
    }
    // The running job's last printed percentage, while its engine prints one.
    const std::optional<double>& progress() const { return progress_; }
    // Seconds the running job still needs, once its percentage has grown.
    const std::optional<double>& timeLeft() const { return timeLeft_; }
    // The space the jobs take and the space left, as far as measured.
    const DiskUsage& diskUsage() const { return diskUsage_; }
    // The ids of the jobs waiting to run, in the order they will run.
    const std::vector<std::string>& queue() const { return queue_; }
    // How far the queue has come since it last started from empty; changes
    // with `queue`.
    const QueueRun& queueRun() const { return queueRun_; }
    const MixExport& mixExport() const { return mixExport_; }
    // The stretch of the mix to repeat, and whether it repeats (L turns it
    // off and on again without forgetting it).
    const std::optional<mixer::Loop>& loop() const { return loop_; }
    bool loopOn() const { return loopOn_; }
    // The mix's speed and transposition, kept while the application runs.
    const mixer::Tempo& tempo() const { return tempo_; }

    // Fields the window sets directly.
    void setMode(SeparationMode mode);
    void setFormat(std::string format);
    void setHighQuality(bool highQuality);
    void setShowHistory(bool showHistory);
    void setError(std::optional<std::string> error);

    // Whether a job can be started with the current engine folder; asks the
    // file system at every read.
    bool ready() const;
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

    // Playback.
    void play(const std::filesystem::path& file);
    void stopPlayback();
    void seek(double seconds);

    // The mixer: the selected job's stems heard together. Starting the mix
    // stops a preview, and a preview stops the mix; seek and stopPlayback act
    // on whichever sounds. Strips are kept per job while the application runs.
    void playMix();
    void setStrip(std::size_t index, mixer::StripSettings strip);
    void applyMixPreset(mixer::Preset preset);
    // Writes the mix as it sounds into one file the user names (WAV, FLAC or
    // MP3), away from the main thread; the file appears only once complete.
    // With `withTempo`, at the mix's speed and pitch.
    void exportMix(bool withTempo = false);
    void cancelMixExport();

    // The loop, in the loaded mix: set from a drag between two points,
    // cleared, switched off and on, or given its start or end at the play
    // position. Kept for the selected job while it stays selected.
    void selectLoop(double from, double to);
    void clearLoop();
    void toggleLoop();
    void setLoopStartHere();
    void setLoopEndHere();

    // Speed (50 % to 150 %) and pitch (-12 to +12 semitones) of the mix.
    void setSpeed(double speed);
    void setSemitones(int semitones);

    // Export. (`export` is a reserved word in C++.)
    void exportStem(const Stem& stem);
    void exportAll();

    // The library: what deleting jobs would remove, deleting them (to the
    // desktop's trash where it has one), measuring their folders, and a job's
    // input made the source again with its settings.
    DeletionPlan planDeletion(const std::vector<std::string>& ids) const;
    void deleteJobs(const std::vector<std::string>& ids);
    void measureDiskUsage();
    void runAgain(const Job& job);

    // The queue: files become "queued" jobs, run one at a time in order, each
    // as start() runs one. Queued records outlive the application; resuming
    // takes up those left by an earlier run.
    void chooseFilesToQueue();
    void enqueue(const std::vector<std::filesystem::path>& files);
    void cancelQueued(const std::string& id);
    void stopQueue();
    std::vector<std::string> waitingFromEarlierRun() const;
    // The song the last quit stopped mid-run, if the latest job is that one:
    // it is recorded as cancelled and so not among the waiting.
    std::optional<std::string> songStoppedByQuit() const;
    void resumeQueue();

private:
    static constexpr const char* initialMessage = "导入音乐，探索每一层声音。";
    static constexpr const char* sourceReadyMessage = "音频已就绪，选择模型后开始分轨。";
    static constexpr const char* quitMessage = "App 已退出，任务取消";

    explicit Workbench(ports::Services services);
    void startUp();
    std::optional<std::filesystem::path> locateEngineRoot();
    void prepareEngineFromTemplate();
    void refreshEngineFromTemplate();
    void runTemplateSetup(const std::filesystem::path& engineTemplate,
                          const std::filesystem::path& folder, const std::string& templateIdentity);
    void engineSetupEnded(const std::filesystem::path& folder, const std::string& templateIdentity,
                          int status);
    void loadMixStrips();
    void requestWaveforms();
    void saveMixStrips();
    void setMixStrips(std::vector<mixer::StripSettings> strips);
    std::filesystem::path absoluteEngineRoot(const std::filesystem::path& folder);
    Job newRecord(const std::filesystem::path& file, std::string_view status, std::string message);
    Result<std::filesystem::path> prepareJobFolder(const Job& record,
                                                   const std::filesystem::path& file);
    // Who starts a run: the user's "开始分轨" takes the window to the run;
    // the queue moving on leaves the page and a preview as they are.
    enum class LaunchedBy { user, queue };
    void launch(Job record, const std::filesystem::path& inputCopy, LaunchedBy by);
    void leaveSelectedJob();
    void diskUsageMeasured(DiskUsage usage);
    void mixExportEnded(const Result<>& result, const std::filesystem::path& file);
    void setLoopTo(std::optional<mixer::Loop> loop, bool on);
    void changeTempo(const mixer::Tempo& tempo);
    void forgetJob(const std::string& id);
    void deselectJob();
    void failLaunch(Job record, const std::string& description);
    void startNextQueued();
    void moveQueueOn();
    bool markQueuedCancelled(const std::string& id);
    void followProgress();
    void followPlayback();

    template <class T> void assign(Field field, T& member, T value)
    {
        member = std::move(value);
        notify(field);
    }
    template <class T> void assignIfChanged(Field field, T& member, T value)
    {
        if (!(member == value))
            assign(field, member, std::move(value));
    }
    void notify(Field field);

    ports::Services services_;
    std::map<int, Observer> observers_;
    int nextSubscription_ = 0;

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
    std::vector<mixer::StripSettings> mixStrips_;
    bool mixPlaying_ = false;
    std::optional<double> progress_;
    std::optional<double> timeLeft_;
    DiskUsage diskUsage_;
    std::vector<std::string> queue_;
    QueueRun queueRun_;
    MixExport mixExport_;
    std::optional<mixer::Loop> loop_;
    bool loopOn_ = false;
    mixer::Tempo tempo_;

    // Private state: the running engine and its log, the poll timer, the
    // player, the id of the job whose engine runs, and whether the source's
    // access grant is held.
    std::unique_ptr<ports::RunningProcess> process_;
    std::optional<LogHandle> logHandle_;
    std::unique_ptr<ports::RepeatingTimer> timer_;
    std::unique_ptr<ports::AudioPlayer> player_;
    std::filesystem::path playerFile_; // the file player_ is bound to, unless it is a mix
    // player_, when it holds the selected job's mix: every change of the
    // selected job (select, start) stops playback first.
    ports::MixPlayer* mix_ = nullptr;
    std::map<std::string, std::vector<mixer::StripSettings>> mixSettings_; // by job id
    std::map<std::filesystem::path, mixer::Overview> waveforms_;           // measured overviews
    std::set<std::filesystem::path> waveformsAsked_;
    std::set<std::string> unsavedMixes_; // job ids whose mix.json is behind
    std::optional<std::string> activeID_;
    RemainingTime remaining_; // the running job's
    HistoryReader history_;   // remembers the records it has decoded
    double previousPoll_ = 0;
    bool measuring_ = false; // a disk usage scan is under way
    // Shared with the thread writing a mix: how far it is, and a request to stop.
    std::shared_ptr<std::atomic<double>> exportDone_;
    std::shared_ptr<std::atomic<bool>> exportStop_;
    bool measureAgain_ = false;
    bool sourceScope_ = false;
    // The first run's engine set-up, while it runs.
    std::unique_ptr<ports::RunningProcess> engineSetup_;
};

} // namespace tonfield
