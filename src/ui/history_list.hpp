#pragma once

#include "ui/panel.hpp"
#include "workbench/workbench.hpp"

namespace tonfield::ui {

// Every stored job, newest first; a row opens its job.
class HistoryList final : public Panel {
public:
    explicit HistoryList(Workbench& workbench, QWidget* parent = nullptr);
    void refresh();

private:
    void rebuildRows();

    Workbench& workbench_;
    QLabel* emptyText_;
    QWidget* rows_;
    std::vector<Job> shownJobs_;
};

} // namespace tonfield::ui
