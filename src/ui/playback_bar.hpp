// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "workbench/workbench.hpp"

#include <QWidget>

class QLabel;
class QSlider;

namespace tonfield::ui {

// Under the page while a file is loaded for playback: its name, position and
// length, a slider that seeks, and a stop button.
class PlaybackBar final : public QWidget {
public:
    // Slider steps per second.
    static constexpr int stepsPerSecond = 1000;

    explicit PlaybackBar(Workbench& workbench, QWidget* parent = nullptr);
    // Redraws when one of the fields it shows is among those that changed.
    void refresh(const FieldSet& changed = FieldSet::all());

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Workbench& workbench_;
    QLabel* name_;
    QLabel* position_;
    QSlider* slider_;
    QLabel* length_;
};

} // namespace tonfield::ui
