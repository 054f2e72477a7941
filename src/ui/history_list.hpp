#pragma once

#include "ui/field_set.hpp"
#include "ui/panel.hpp"
#include "workbench/workbench.hpp"

namespace tonfield::ui {

// Every stored job, newest first; a row opens its job.
class HistoryList final : public Panel {
public:
    explicit HistoryList(Workbench& workbench, QWidget* parent = nullptr);
    // Redraws when one of the fields it shows is among those that changed.
    void refresh(const FieldSet& changed = FieldSet::all());

private:
    void rebuildRows();

    Workbench& workbench_;
    QLabel* emptyText_;
    QWidget* rows_;
    std::vector<Job> shownJobs_;
};

} // namespace tonfield::ui
