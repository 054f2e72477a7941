// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job.hpp"
#include "model/job_library.hpp"

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>

#include <vector>

// The history's rows as one list view: a widget per row would not keep up
// with ten thousand jobs, a view paints only the rows on screen.
namespace tonfield::ui {

// The jobs the library's filter lets through, in its order.
class JobRowsModel final : public QAbstractListModel {
public:
    void setRows(const std::vector<Job>& jobs, std::vector<std::size_t> rows);
    void setSizes(const DiskUsage& usage);
    const Job& job(int row) const { return (*jobs_)[rows_[static_cast<std::size_t>(row)]]; }
    // The row's size on disk as shown; empty until measured.
    QString sizeText(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const std::vector<Job>* jobs_ = nullptr;
    std::vector<std::size_t> rows_;
    DiskUsage usage_;
};

// A row: status symbol, name over date, size, status, and the chevron; the
// delete button appears on the hovered or focused row.
class JobRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int spacing = 13; // between rows
    static int rowHeight();
    // Where the delete button of a row drawn in `rowRect` lies.
    static QRect deleteButton(const QRect& rowRect);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// Opens a row on a plain click or Return, extends the selection with Ctrl or
// Shift, and asks to delete on the row's button, the Delete key or the menu.
// As tall as its rows: the page around it scrolls.
class JobRowsView final : public QListView {
    Q_OBJECT
public:
    explicit JobRowsView(QWidget* parent = nullptr);
    // The rows to delete: the selection, or else the current row.
    QModelIndexList chosenRows() const;
    void fitHeight();
    bool keyboardFocus() const { return keyboardFocus_; }
    // While a job runs rows are drawn disabled and do not open (a selection
    // and deleting still work).
    void setRowsOpen(bool open);
    bool rowsOpen() const { return rowsOpen_; }

signals:
    void openRequested(const QModelIndex& index);
    void deleteRequested(const QModelIndexList& rows);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool keyboardFocus_ = false;
    bool rowsOpen_ = true;
};

} // namespace tonfield::ui
