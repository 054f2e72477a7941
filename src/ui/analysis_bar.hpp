// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"

#include <QWidget>

class QLabel;
class QMenu;
class QToolButton;

namespace tonfield {
class Workbench;
}

namespace tonfield::ui {

class SongRuler;

// The mixer's line about the music: the analysis's progress, then the tempo
// and key as heard ("118.9 BPM · A 小调"), the chord being played, and the
// corrections (halve or double the tempo, move bar 1, set the key).
class AnalysisBar final : public QWidget {
public:
    AnalysisBar(Workbench& workbench, const SongRuler& ruler, QWidget* parent = nullptr);
    void refresh(const FieldSet& changed);
    QToolButton* correctButton() const { return correct_; }

private:
    void buildMenu();
    void showChord();

    Workbench& workbench_;
    const SongRuler& ruler_;
    QLabel* summary_;
    QLabel* chord_;
    QToolButton* correct_;
    QMenu* menu_;
};

} // namespace tonfield::ui
