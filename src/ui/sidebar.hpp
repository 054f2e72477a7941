// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "workbench/workbench.hpp"

#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;

namespace tonfield::ui {

class BoxButton;

// The fixed-width column at the window's left: brand, navigation between the
// workspace and the history, the engine families, engine settings and links.
class Sidebar final : public QWidget {
public:
    static constexpr int widthPx = 205;
    static constexpr const char* modelCollectionUrl =
        "https://github.com/Anjok07/ultimatevocalremovergui";

    Sidebar(Workbench& workbench, std::function<void(const QUrl&)> openUrl,
            QWidget* parent = nullptr);
    ~Sidebar() override;
    // Redraws when one of the fields it shows is among those that changed.
    void refresh(const FieldSet& changed = FieldSet::all());

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct NavButton;
    Workbench& workbench_;
    std::unique_ptr<NavButton> workspaceButton_;
    std::unique_ptr<NavButton> historyButton_;
    QLabel* historyCount_;
    BoxButton* engineSettings_;
};

} // namespace tonfield::ui
