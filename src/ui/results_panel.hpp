#pragma once

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
    void refresh();

private:
    void rebuildRows();

    Workbench& workbench_;
    BoxButton* exportAll_;
    QWidget* progress_;
    QLabel* progressMessage_;
    QLabel* progressTime_;
    QWidget* emptyState_;
    QLabel* emptyMessage_;
    QWidget* rows_;
    std::vector<Stem> shownStems_;
    QWidget* logBlock_;
    QToolButton* logToggle_;
    QPlainTextEdit* logView_;
    BoxButton* reveal_;
};

} // namespace tonfield::ui
