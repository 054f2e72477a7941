// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "ui/panel.hpp"
#include "workbench/workbench.hpp"

class QCheckBox;
class QSlider;

namespace tonfield::ui {

class AnalysisBar;
class SongRuler;

// Card 04: the selected job's stems heard together. A transport for the whole
// mix, the song's tempo, key and chords, the presets, and a strip per stem:
// its name, a timeline that seeks the mix, mute, solo and a level from
// silence to +6 dB; once the song's beats are known, the metronome's strip
// after them and the count-in beside speed and pitch. Shown while the
// selected job has two stems or more and no job runs.
class MixerPanel final : public Panel {
public:
    explicit MixerPanel(Workbench& workbench, QWidget* parent = nullptr);
    // Redraws when one of the fields it shows is among those that changed.
    void refresh(const FieldSet& changed = FieldSet::all());

private:
    struct Strip;
    void addTransport();
    void rebuildStrips();
    void addStrip(const QString& name, const std::filesystem::path& stem,
                  std::function<std::optional<mixer::StripSettings>()> settings,
                  std::function<void(const mixer::StripSettings&)> apply);
    void showStrips();
    void showPresetInUse();
    void showExport();
    void addPractice();
    void addExport();
    void showTempo();

    Workbench& workbench_;
    BoxButton* play_;
    QLabel* playSymbol_;
    QLabel* time_;
    QWidget* presets_;
    QWidget* stripRows_;
    std::vector<Stem> shownStems_;
    std::vector<std::unique_ptr<Strip>> strips_;
    QSlider* speed_;
    QLabel* speedValue_;
    BoxButton* resetSpeed_;
    QSlider* pitch_;
    QLabel* pitchValue_;
    BoxButton* resetPitch_;
    QLabel* loopText_;
    BoxButton* clearLoop_;
    QLabel* exportStatus_;
    QCheckBox* withTempo_;
    QCheckBox* withClick_;
    QCheckBox* countIn_;
    BoxButton* exportMix_;
    BoxButton* cancelExport_;
    SongRuler* ruler_;
    AnalysisBar* analysisBar_;
};

} // namespace tonfield::ui
