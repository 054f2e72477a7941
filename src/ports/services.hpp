// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The ports: the narrow interfaces through which the Qt-free core reaches the
// outside world. The real adapters live in src/adapters; tests supply fakes.
// Every call happens on the main thread, but for the mix renderer's and the
// song decoder's (below), which are called from a worker.

#include "engine/invocation.hpp"
#include "model/output_format.hpp"
#include "model/result.hpp"

#include "analysis/song_analysis.hpp"
#include "mixer/click_track.hpp"
#include "mixer/loop.hpp"
#include "mixer/tempo.hpp"
#include "mixer/waveform.hpp"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tonfield::ports {

class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock time in seconds since 1970-01-01 00:00:00 UTC, with fraction.
    virtual double nowSeconds() = 0;
};

class IdSource {
public:
    virtual ~IdSource() = default;
    // A fresh random UUID in its canonical text form (8-4-4-4-12 hex digits).
    virtual std::string newUuid() = 0;
};

// The key under which the engine folder's path is kept.
inline constexpr const char* engineRootSetting = "engineRoot";
// Whether the metronome counts in before the mix plays from a stop: "1" or "0".
inline constexpr const char* countInSetting = "countIn";

// The one persistent user setting store (keys such as engineRootSetting).
class Settings {
public:
    virtual ~Settings() = default;
    virtual std::optional<std::string> string(const std::string& key) = 0;
    virtual void setString(const std::string& key, const std::string& value) = 0;
};

struct FolderRequest {
    std::string message;      // shown in the chooser; empty for none
    std::string confirmLabel; // empty keeps the chooser's own label
    bool canCreateFolders = false;
};

// Modal choosers. An empty result means the user cancelled.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual std::optional<std::filesystem::path> chooseFolder(const FolderRequest& request) = 0;
    // One audio file; the chooser offers audio files only.
    virtual std::optional<std::filesystem::path> chooseAudioFile() = 0;
    // Any number of audio files, in the order chosen; empty when cancelled.
    virtual std::vector<std::filesystem::path> chooseAudioFiles() = 0;
    // Where to save a file: the name field preset to suggestedName, the
    // chooser filtered to files with the given extension.
    virtual std::optional<std::filesystem::path> chooseSaveFile(const std::string& suggestedName,
                                                                const std::string& extension) = 0;
    // The same, offering several types (extensions such as "wav"), `chosen`
    // preselected; the answer ends in the extension of the type picked.
    virtual std::optional<std::filesystem::path>
    chooseSaveFileOfType(const std::string& suggestedName, const std::vector<std::string>& types,
                         const std::string& chosen) = 0;
};

// Shows a folder in the desktop's file browser.
class FileBrowser {
public:
    virtual ~FileBrowser() = default;
    virtual void openFolder(const std::filesystem::path& folder) = 0;
};

// Access grants for user-chosen files where a sandbox demands them. Where
// there is no sandbox, starting one reports false and stopping does nothing.
class AccessGrants {
public:
    virtual ~AccessGrants() = default;
    virtual bool start(const std::filesystem::path& file) = 0;
    virtual void stop(const std::filesystem::path& file) = 0;
};

// Something the platform made, or its description of why it could not.
template <class T> using Made = Result<std::unique_ptr<T>>;

// A launched child process. Destroying the handle neither waits for nor kills
// the child.
class RunningProcess {
public:
    virtual ~RunningProcess() = default;
    // The polite request to end (SIGTERM); returns at once.
    virtual void terminate() = 0;
};

class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Starts the child with both its standard output and standard error
    // written to outputFile, an open descriptor the caller keeps. Fails at once
    // when the child cannot be started. onExit later receives the exit status
    // (non-zero when a signal ended the child) as a task on the main thread,
    // unless the handle is gone by then.
    virtual Made<RunningProcess> launch(const engine::Invocation& invocation, int outputFile,
                                        std::function<void(int status)> onExit) = 0;
};

// A running repeating timer; destroying it stops it.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;
};

class Timers {
public:
    virtual ~Timers() = default;
    // Calls onFire every intervalSeconds, each time as a task queued on the
    // main thread, for as long as the returned timer lives.
    virtual std::unique_ptr<RepeatingTimer> startRepeating(double intervalSeconds,
                                                           std::function<void()> onFire) = 0;
};

// A player bound to one audio file for its whole life.
class AudioPlayer {
public:
    virtual ~AudioPlayer() = default;
    virtual double durationSeconds() const = 0;
    virtual void play() = 0;
    virtual void pause() = 0; // keeps the position
    virtual void stop() = 0;
    // What the listener has heard so far, not what was decoded ahead. The
    // poll reads it at every tick, so it must stay cheap: the real player's
    // audio thread publishes it at every feed, and reading it never waits.
    virtual double currentTimeSeconds() const = 0;
    virtual void setCurrentTimeSeconds(double seconds) = 0;
    // False once the end has been played, or while paused or stopped.
    virtual bool isPlaying() const = 0;
};

// A player of several files at once, in sync from one clock, each at a gain
// of its own: the stem mixer. Its position and length are the mix's; the
// longest file sets its end.
class MixPlayer : public AudioPlayer {
public:
    // One linear gain per file, in the order opened, then the metronome's
    // (silent when left out); changes ramp in over a few milliseconds.
    virtual void setGains(const std::vector<float>& gains) = 0;
    // Plays the loop over and over, without a gap at its seam, or plays
    // through when there is none. A position outside the loop moves to its
    // start; the position reported stays within it.
    virtual void setLoop(const std::optional<mixer::Loop>& loop) = 0;
    // Plays faster or slower keeping the pitch, and higher or lower keeping
    // the speed, applied to the summed mix.
    virtual void setTempo(const mixer::Tempo& tempo) = 0;
    // The beats the metronome clicks on, sample-aligned with the files and
    // through the same loop, speed and pitch; without them it is silent.
    virtual void setClick(const mixer::ClickTrack& track) = 0;
    // Plays as play() does, but from a stop (not from a pause) the
    // metronome first counts in alone for one bar, in time with the beats
    // that lead to the position; the position stays put meanwhile.
    virtual void playCountingIn() = 0;
};

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Opens a file for playback; fails at once for a missing file, one that is
    // not audio, or a machine without an audio output.
    virtual Made<AudioPlayer> open(const std::filesystem::path& file) = 0;
    // Opens several files to be heard together; fails as open does, with the
    // first file that cannot be played.
    virtual Made<MixPlayer> openMix(const std::vector<std::filesystem::path>& files) = 0;
};

// Overviews of audio files for the mixer's strips, measured away from the
// main thread and kept in the user's cache.
class Waveforms {
public:
    virtual ~Waveforms() = default;
    // Calls `ready` later, as a task on the main thread, with the file's
    // overview (mixer::PeakMeter::buckets peaks from 0 to 1, and the file's
    // length), or never for a file that cannot be decoded.
    virtual void request(const std::filesystem::path& file,
                         std::function<void(mixer::Overview)> ready) = 0;
};

// A mix written into one file: what the mixer plays, as WAV (24-bit), FLAC or MP3.
struct MixRender {
    std::vector<std::filesystem::path> stems;
    std::vector<float> gains; // one linear gain per stem, then the metronome's
    OutputFormat format = OutputFormat::wav;
    mixer::Tempo tempo;                     // speed and pitch, normal unless asked for
    std::optional<mixer::ClickTrack> click; // the metronome's beats, when it is heard
};

// The one port called away from the main thread: it blocks for as long as
// the mix takes to write.
class MixRenderer {
public:
    virtual ~MixRenderer() = default;
    // Decodes every stem, sums them at their gains, sample-aligned, and
    // encodes the sum into `file` (which it replaces). `progress` hears the
    // fraction done and answers false to stop, which ends in a failure.
    virtual Result<> render(const MixRender& mix, const std::filesystem::path& file,
                            const std::function<bool(double fraction)>& progress) = 0;
};

// Whole audio files decoded for the song's analysis; called from a worker,
// it blocks for as long as the file takes to decode.
class SongDecoder {
public:
    virtual ~SongDecoder() = default;
    // The file as mono samples at analysis::analysisRate, or why not (the
    // message starts with its path).
    virtual Result<std::vector<float>> decodeMono(const std::filesystem::path& file) = 0;
};

// The song's beats, bars, key and chords from its decoded sources; called
// from a worker, it blocks for the seconds a song takes.
class SongAnalyzer {
public:
    virtual ~SongAnalyzer() = default;
    // The analysis, or why none can be made (its library cannot be loaded).
    virtual Result<analysis::MusicalAnalysis> analyze(const analysis::AnalysisSources& sources) = 0;
};

// The desktop's trash.
class Trash {
public:
    virtual ~Trash() = default;
    // Whether a file or folder at this path can be moved to a trash, judged
    // without moving anything.
    virtual bool available(const std::filesystem::path& path) = 0;
    // Moves the entry to the trash, listed there as `shownName` (its own name
    // when empty); restoring it puts it back beside where it was, under that
    // name.
    virtual Result<> moveToTrash(const std::filesystem::path& path,
                                 const std::string& shownName) = 0;
};

// Work that must not hold up the main thread (walking thousands of folders).
class BackgroundWork {
public:
    virtual ~BackgroundWork() = default;
    // Runs `work` on another thread; the function it returns then runs as a
    // task on the main thread. `work` must not touch the caller's state.
    virtual void run(std::function<std::function<void()>()> work) = 0;
};

// Facts about the running application that locate an engine folder.
class AppEnvironment {
public:
    virtual ~AppEnvironment() = default;
    // The folder holding the application's executable (on macOS the bundle's parent).
    virtual std::filesystem::path applicationFolder() = 0;
    // An engine folder fixed when the application was built, if any.
    virtual std::optional<std::filesystem::path> builtInEngineRoot() = 0;
    virtual std::filesystem::path currentDirectory() = 0;
    // The installed reference engine, a template from which a first run makes
    // an engine folder (it holds separate_job.py and make_engine_folder.sh),
    // if this is an installed application that has one.
    virtual std::optional<std::filesystem::path> engineTemplate() = 0;
    // Every engine template this application brings, by name ("reference",
    // "hdemucs"): folders holding make_engine_folder.sh and engine.json.
    virtual std::map<std::string, std::filesystem::path> engineTemplates() = 0;
    // Whether a Debian package is installed, as dpkg records it; yes where
    // there is no dpkg to ask.
    virtual bool packageInstalled(const std::string& package) = 0;
    // The user's own data folder for Tonfield (on Linux $XDG_DATA_HOME/Tonfield).
    virtual std::filesystem::path userDataFolder() = 0;
    // The application's own environment variables, handed on to the engine.
    virtual std::map<std::string, std::string> environment() = 0;
};

// The services one Workbench uses. Whoever builds the Workbench keeps them
// alive for at least as long as the Workbench.
struct Services {
    Clock& clock;
    IdSource& ids;
    Settings& settings;
    Dialogs& dialogs;
    Timers& timers;
    AppEnvironment& environment;
    AccessGrants& grants;
    ProcessLauncher& launcher;
    AudioOutput& audio;
    FileBrowser& fileBrowser;
    Waveforms& waveforms;
    Trash& trash;
    BackgroundWork& background;
    MixRenderer& mixRenderer;
    SongDecoder& songDecoder;
    SongAnalyzer& songAnalyzer;
};

} // namespace tonfield::ports
