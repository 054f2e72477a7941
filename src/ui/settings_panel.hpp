// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "ui/panel.hpp"
#include "workbench/workbench.hpp"

#include <array>

class QComboBox;

namespace tonfield::ui {

// Card 02: the separation mode, the model it uses, format and quality, and
// the button that starts a job, or stops the running one.
class SettingsPanel final : public Panel {
public:
    static constexpr int widthPx = 310;

    explicit SettingsPanel(Workbench& workbench, QWidget* parent = nullptr);
    ~SettingsPanel() override;
    // Redraws when one of the fields it shows is among those that changed.
    void refresh(const FieldSet& changed = FieldSet::all());

private:
    void addModeCards();
    void addModelInfo();
    void addPickers();
    void addNote();
    void addStartButton();
    void addStopButtons();

    struct ModeCard;
    Workbench& workbench_;
    std::array<std::unique_ptr<ModeCard>, 3> cards_;
    QLabel* modelFile_;
    QLabel* modelFamily_;
    QWidget* options_;
    QComboBox* format_;
    QComboBox* quality_;
    BoxButton* start_;
    BoxButton* stop_;
    BoxButton* stopQueue_;
    QLabel* hint_;
};

} // namespace tonfield::ui
