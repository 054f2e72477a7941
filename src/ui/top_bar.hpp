// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "workbench/workbench.hpp"

#include <QWidget>

class QLabel;

namespace tonfield::ui {

// The strip above the page: where the user is, and whether the engine is ready.
class TopBar final : public QWidget {
public:
    static constexpr int heightPx = 61;

    explicit TopBar(const Workbench& workbench, QWidget* parent = nullptr);
    // Redraws when one of the fields it shows is among those that changed.
    void refresh(const FieldSet& changed = FieldSet::all());

    // The status dot's colour, as drawn.
    QColor dotColour() const { return dotColour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Workbench& workbench_;
    QLabel* page_;
    QWidget* dot_;
    QLabel* engineStatus_;
    QLabel* engineName_; // the engine in use, where its folder names it
    QColor dotColour_;
};

} // namespace tonfield::ui
