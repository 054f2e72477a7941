// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job_library.hpp"
#include "ui/field_set.hpp"
#include "ui/panel.hpp"
#include "workbench/workbench.hpp"

#include <QModelIndexList>

#include <optional>

class QComboBox;
class QLineEdit;

namespace tonfield::ui {

class JobRowsModel;
class JobRowsView;

// Every stored job, the queue first: found by name and status, sized, opened,
// run again, deleted. Audio files dropped on it join the queue.
class HistoryList final : public Panel {
public:
    explicit HistoryList(Workbench& workbench, QWidget* parent = nullptr);
    // Redraws when one of the fields it shows is among those that changed.
    void refresh(const FieldSet& changed = FieldSet::all());
    JobRowsView& rows() const { return *view_; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showJobs();
    void applyFilter();
    bool jobStoreReachable() const;
    void showUsage();
    void confirmDeletion(const QModelIndexList& rows);
    void showMenu(const QPoint& position);

    Workbench& workbench_;
    QLabel* usage_;
    QLineEdit* search_;
    QComboBox* status_;
    BoxButton* deleteChosen_;
    QLabel* emptyText_;
    QLabel* noMatch_;
    JobRowsModel* model_;
    JobRowsView* view_;
    // The rows are made when the list is shown: a start with a long history
    // should not copy and lay out every job for a page nobody has opened.
    std::vector<Job> shownJobs_;
    std::optional<JobLibrary> library_;
    bool jobsStale_ = true;
};

} // namespace tonfield::ui
