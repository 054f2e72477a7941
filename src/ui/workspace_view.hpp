// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "workbench/workbench.hpp"

#include <QUrl>
#include <QWidget>

#include <functional>

class QScrollArea;

namespace tonfield::ui {

class Sidebar;
class TopBar;
class SourcePanel;
class SettingsPanel;
class MixerPanel;
class ResultsPanel;
class HistoryList;
class PlaybackBar;

// Everything inside the main window: the sidebar, and the work area of top
// bar, scrolling page (workspace or history) and playback bar.
class WorkspaceView final : public QWidget {
public:
    WorkspaceView(Workbench& workbench, std::function<void(const QUrl&)> openUrl,
                  QWidget* parent = nullptr);

    // Makes every part showing a changed field match the Workbench's state.
    void refresh(const FieldSet& changed = FieldSet::all());

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void focusFirstControlOf(QWidget* panel, Qt::FocusReason reason);

    Workbench& workbench_;
    Sidebar* sidebar_;
    TopBar* topBar_;
    QWidget* workspace_;
    SourcePanel* source_;
    SettingsPanel* settings_;
    ResultsPanel* results_;
    MixerPanel* mixer_;
    HistoryList* history_;
    PlaybackBar* playback_;
    QScrollArea* page_ = nullptr;
    // Where the workspace was scrolled when the history was opened: the
    // history opens at its top (its search box in view), the workspace
    // comes back where it was.
    int workspaceScroll_ = 0;
    bool historyShown_ = false;
};

} // namespace tonfield::ui
