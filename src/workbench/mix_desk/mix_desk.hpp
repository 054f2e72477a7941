// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/result.hpp"
#include "workbench/field_publisher.hpp"

#include "mixer/loop.hpp"
#include "mixer/presets.hpp"
#include "mixer/strip.hpp"
#include "mixer/tempo.hpp"
#include "mixer/waveform.hpp"
#include "ports/services.hpp"

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tonfield {

class Workbench;

// The mix being written into a file, or the last one written.
struct MixExport {
    bool running = false;
    double fraction = 0;                       // done so far, while running
    std::optional<std::filesystem::path> file; // the last mix written, once complete

    bool operator==(const MixExport&) const = default;
};

// The mixer behind the window: the shown job's stems heard together, each on
// a strip of its own, looped, sped up or slowed down, transposed, and written
// into one file. It plays through the Workbench's one player, which a single
// stem's preview takes in turn: starting the mix stops a preview, and a
// preview stops the mix. Strips are kept per job while the application runs
// and in the job's mix.json for the next run.
//
// Threading: main thread only. A mix is written on a worker; the desk and the
// worker share only two atomics (how far, and a request to stop), and its end
// comes back to the main thread through the background service.
class MixDesk {
public:
    MixDesk(Workbench& workbench, ports::Services services, const FieldPublisher& publisher);
    // Stops a mix still being written.
    ~MixDesk();
    MixDesk(const MixDesk&) = delete;
    MixDesk& operator=(const MixDesk&) = delete;

    // The strips for the shown job's stems, one per stem in order.
    const std::vector<mixer::StripSettings>& mixStrips() const { return mixStrips_; }
    // Whether the mix is sounding.
    bool mixPlaying() const { return mixPlaying_; }
    // Whether the player holds the mix (sounding or paused).
    bool mixLoaded() const { return mix_ != nullptr; }
    // How long the mix lasts, as far as the stems' overviews have told (the
    // longest stem): shown before it is played.
    double mixLength() const;
    // A stem's overview, once measured; null until then.
    const std::vector<float>* waveform(const std::filesystem::path& file) const;
    const MixExport& mixExport() const { return mixExport_; }
    // The stretch to repeat, and whether it repeats (switched off, it is kept).
    const std::optional<mixer::Loop>& loop() const { return loop_; }
    bool loopOn() const { return loopOn_; }
    // The speed and transposition, kept while the application runs.
    const mixer::Tempo& tempo() const { return tempo_; }
    // The metronome, once the shown job's beats are known: a strip after the
    // stems', kept with them, muted at first so that the mix sounds as it
    // did until the click is asked for; and whether a play from a stop
    // counts in first, remembered in the settings.
    bool hasClick() const { return click_.has_value(); }
    const mixer::StripSettings& clickStrip() const { return clickStrip_; }
    bool countIn() const { return countIn_; }

    // Pauses the mix while it sounds, otherwise plays it from where it
    // stopped, opening it first if need be.
    void playMix();
    void setStrip(std::size_t index, mixer::StripSettings strip);
    void setClickStrip(mixer::StripSettings strip);
    void setCountIn(bool on);
    void applyMixPreset(mixer::Preset preset);
    // Writes the mix as it sounds into one file the user names (WAV, FLAC or
    // MP3), away from the main thread; the file appears only once complete.
    // With `withTempo`, at the mix's speed and pitch; with `withClick`, the
    // metronome's strip is mixed in as it sounds.
    void exportMix(bool withTempo = false, bool withClick = false);
    void cancelMixExport();

    // The loop, in the loaded mix: set from a drag between two points,
    // cleared, switched off and on, or given its start or end at the play
    // position.
    void selectLoop(double from, double to);
    void clearLoop();
    void toggleLoop();
    void setLoopStartHere();
    void setLoopEndHere();

    // Speed (50 % to 150 %) and pitch (-12 to +12 semitones).
    void setSpeed(double speed);
    void setSemitones(int semitones);

    // What the Workbench tells the desk. The shown job's stems were listed
    // anew: their strips are taken without a notification of their own (they
    // arrive under the stems'); then their overviews are asked for, once each.
    void takeStrips();
    void requestWaveforms();
    // The shown job's beats changed: found, corrected, or gone.
    void takeClick(std::optional<mixer::ClickTrack> track);
    // Another job is shown, or none: its loop and the note of its last
    // written mix go.
    void leaveJob();
    // A job is gone for good.
    void forgetJob(const std::string& id);
    // The player no longer holds the mix; and, separately, it fell silent.
    void mixReleased() { mix_ = nullptr; }
    void mixSilenced();
    // At every tick: strips changed since are saved, an export's progress read.
    void poll();

private:
    void setMixStrips(std::vector<mixer::StripSettings> strips);
    // What each strip sounds at: the stems', then the metronome's if it is there.
    std::vector<float> gains() const;
    void keepStrips();
    void setLoopTo(std::optional<mixer::Loop> loop, bool on);
    void changeTempo(const mixer::Tempo& tempo);
    void mixExportEnded(const Result<>& result, const std::filesystem::path& file);

    Workbench& workbench_;
    ports::Services services_;
    const FieldPublisher& publisher_;
    // Callbacks that arrive later (overviews, an export's end) hold it weakly:
    // once the desk is gone they do nothing.
    std::shared_ptr<MixDesk*> self_ = std::make_shared<MixDesk*>(this);

    // Observable.
    std::vector<mixer::StripSettings> mixStrips_;
    bool mixPlaying_ = false;
    MixExport mixExport_;
    std::optional<mixer::Loop> loop_;
    bool loopOn_ = false;
    mixer::Tempo tempo_;
    std::optional<mixer::ClickTrack> click_;
    mixer::StripSettings clickStrip_ = mutedClick;
    bool countIn_ = false;

    static constexpr mixer::StripSettings mutedClick{.levelDb = 0, .muted = true, .soloed = false};

    // The Workbench's player, when it holds the mix.
    ports::MixPlayer* mix_ = nullptr;
    // Strips by job id (the metronome's last, once it has one), and the ids
    // whose mix.json is behind.
    std::map<std::string, std::vector<mixer::StripSettings>> mixSettings_;
    std::set<std::string> unsavedMixes_;
    // Stem overviews, measured and asked for.
    std::map<std::filesystem::path, mixer::Overview> waveforms_;
    std::set<std::filesystem::path> waveformsAsked_;
    // Shared with the thread writing a mix: how far it is, and a request to stop.
    std::shared_ptr<std::atomic<double>> exportDone_;
    std::shared_ptr<std::atomic<bool>> exportStop_;
};

} // namespace tonfield
