// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "ui/panel.hpp"
#include "workbench/workbench.hpp"

#include <QUrl>

#include <functional>

class QPlainTextEdit;
class QToolButton;

namespace tonfield::ui {

// Card 03: the running job's progress, then the selected job's stems with
// play and export, its run log, and the way to its folder.
class ResultsPanel final : public Panel {
public:
    ResultsPanel(Workbench& workbench, std::function<void(const QUrl&)> openUrl,
                 QWidget* parent = nullptr);
    // Redraws when one of the fields it shows is among those that changed.
    void refresh(const FieldSet& changed = FieldSet::all());

private:
    void addHeader();
    void addProgress();
    void addEmptyState();
    void addStemList();
    void addLog();
    void addReveal();
    void rebuildRows();

    Workbench& workbench_;
    BoxButton* exportAll_;
    QWidget* progress_;
    QLabel* progressMessage_;
    QLabel* progressTime_;
    QWidget* progressBar_;
    QLabel* progressPercent_;
    QLabel* queueLine_;
    QLabel* shownJob_; // which job's results these are
    QWidget* emptyState_;
    QLabel* emptyMessage_;
    QWidget* rows_;
    std::vector<Stem> shownStems_;
    std::string shownLog_; // what the log view holds
    QWidget* logBlock_;
    QToolButton* logToggle_;
    QPlainTextEdit* logView_;
    BoxButton* reveal_;
};

} // namespace tonfield::ui
