// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "ui/panel.hpp"
#include "workbench/workbench.hpp"

namespace tonfield::ui {

// Card 01: bring in the audio to separate, by the chooser or by dropping a
// file anywhere on the card; then the chosen file with preview and replace.
class SourcePanel final : public Panel {
public:
    explicit SourcePanel(Workbench& workbench, QWidget* parent = nullptr);
    // Redraws when one of the fields it shows is among those that changed.
    void refresh(const FieldSet& changed = FieldSet::all());

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    Workbench& workbench_;
    BoxButton* dropZone_;
    RoundedBox* sourceCard_;
    ElidedLabel* fileName_;
    QLabel* extension_;
    BoxButton* preview_;
    QLabel* previewSymbol_;
    BoxButton* replace_;
};

} // namespace tonfield::ui
