// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/job_rows.hpp"

#include "model/display_text.hpp"
#include "model/job_values.hpp"
#include "ui/icons.hpp"
#include "ui/theme.hpp"
#include "ui/widgets.hpp"

#include <QApplication>
#include <QDateTime>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace tonfield::ui {
namespace {

constexpr int padding = 13;
constexpr int gap = 12;
constexpr int deleteSize = 22;

// A damaged record may hold any number: outside the calendar's years it shows
// a dash rather than a wrapped-around date.
QString shortDate(double createdSeconds)
{
    if (!display::hasCalendarDate(createdSeconds))
        return "—";
    const auto milliseconds = static_cast<qint64>(createdSeconds * 1000);
    return QLocale::system().toString(QDateTime::fromMSecsSinceEpoch(milliseconds).date(),
                                      QLocale::ShortFormat);
}

QString statusText(const Job& job)
{
    return QString::fromStdString(display::status(job.status));
}

QString summaryText(const Job& job)
{
    return QString::fromStdString(display::jobSummary(job));
}

const QFont& nameFont()
{
    static const QFont font = theme::font(12);
    return font;
}
const QFont& dateFont()
{
    static const QFont font = theme::font(9);
    return font;
}
const QFont& sideFont()
{
    static const QFont font = theme::font(10);
    return font;
}

void drawSymbol(QPainter& painter, const QRect& box, const char* symbol, int size,
                const QColor& colour)
{
    painter.setFont(icons::font(size));
    painter.setPen(colour);
    painter.drawText(box, Qt::AlignCenter, icons::glyph(symbol));
}

} // namespace

void JobRowsModel::setRows(const std::vector<Job>& jobs, std::vector<std::size_t> rows)
{
    beginResetModel();
    jobs_ = &jobs;
    rows_ = std::move(rows);
    endResetModel();
}

void JobRowsModel::setSizes(const DiskUsage& usage)
{
    usage_ = usage;
    if (!rows_.empty())
        emit dataChanged(index(0), index(rowCount() - 1));
}

QString JobRowsModel::sizeText(int row) const
{
    const auto found = usage_.jobBytes.find(job(row).id);
    return found == usage_.jobBytes.end() ? QString()
                                          : QString::fromStdString(display::bytes(found->second));
}

int JobRowsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant JobRowsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Job& shown = job(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(shown.filename);
    case Qt::AccessibleTextRole:
        return QString::fromStdString(shown.filename) + "，" + shortDate(shown.created) + "，" +
               summaryText(shown) + "，" + statusText(shown);
    default:
        return {};
    }
}

int JobRowDelegate::rowHeight()
{
    return padding + QFontMetrics(nameFont()).height() + 4 + QFontMetrics(dateFont()).height() +
           padding + spacing;
}

QRect JobRowDelegate::deleteButton(const QRect& rowRect)
{
    const QRect box = rowRect.adjusted(0, 0, 0, -spacing);
    return QRect(box.right() - padding - 11 - gap - deleteSize, box.center().y() - deleteSize / 2,
                 deleteSize, deleteSize);
}

QSize JobRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width(), rowHeight()};
}

void JobRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const
{
    const auto* model = static_cast<const JobRowsModel*>(index.model());
    const Job& job = model->job(index.row());
    const auto* view = qobject_cast<const JobRowsView*>(option.widget);
    const bool selected = option.state & QStyle::State_Selected;
    const bool hovered = option.state & QStyle::State_MouseOver;
    const bool focused = view && view->keyboardFocus() && (option.state & QStyle::State_HasFocus);
    const bool enabled = !view || view->rowsOpen();

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect box = option.rect.adjusted(0, 0, 0, -spacing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(box), 6, 6);
    painter->fillPath(shape, selected  ? theme::withAlpha(theme::mint(), 0.10)
                             : hovered ? theme::white(0.05)
                                       : theme::white(0.025));
    if (selected) {
        painter->setPen(QPen(theme::withAlpha(theme::mint(), 0.5), 1));
        painter->drawRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);
    }
    if (focused) {
        painter->setPen(QPen(theme::mint(), 2));
        painter->drawRoundedRect(QRectF(box).adjusted(1, 1, -1, -1), 6, 6);
    }
    if (!enabled)
        painter->setOpacity(0.4);

    const QRect inner = box.adjusted(padding, padding, -padding, -padding);
    drawSymbol(*painter, QRect(inner.left(), inner.top(), 16, inner.height()),
               job.status == job_status::done ? "checkmark.circle" : "clock", 16, theme::mint());

    int right = inner.right() + 1;
    drawSymbol(*painter, QRect(right - 11, inner.top(), 11, inner.height()), "chevron.right", 11,
               theme::muted());
    right -= 11 + gap;
    if (hovered || focused) {
        const QRect button = deleteButton(option.rect);
        drawSymbol(*painter, button, "trash", 16, theme::muted());
        right = button.left() - gap;
    }
    painter->setFont(sideFont());
    painter->setPen(theme::muted());
    for (const QString& text : {statusText(job), model->sizeText(index.row()), summaryText(job)}) {
        if (text.isEmpty())
            continue;
        const int width = QFontMetrics(sideFont()).horizontalAdvance(text);
        painter->drawText(QRect(right - width, inner.top(), width, inner.height()),
                          Qt::AlignVCenter | Qt::AlignRight, text);
        right -= width + gap;
    }

    const int left = inner.left() + 16 + gap;
    const int nameHeight = QFontMetrics(nameFont()).height();
    const QRect nameRect(left, inner.top(), std::max(0, right - left), nameHeight);
    painter->setFont(nameFont());
    painter->setPen(Qt::white);
    painter->drawText(
        nameRect, Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetrics(nameFont())
            .elidedText(QString::fromStdString(job.filename), Qt::ElideRight, nameRect.width()));
    painter->setFont(dateFont());
    painter->setPen(theme::muted());
    painter->drawText(
        QRect(left, nameRect.bottom() + 1 + 4, nameRect.width(), QFontMetrics(dateFont()).height()),
        Qt::AlignLeft | Qt::AlignVCenter, shortDate(job.created));
    painter->restore();
}

JobRowsView::JobRowsView(QWidget* parent)
    : QListView(parent)
{
    setObjectName("jobRows");
    setItemDelegate(new JobRowDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setAccessibleName("处理记录列表");
    // The page's canvas shows through.
    QPalette clear = palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    setPalette(clear);
}

QModelIndexList JobRowsView::chosenRows() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty() && currentIndex().isValid())
        rows << currentIndex();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void JobRowsView::fitHeight()
{
    const int rows = model() ? model()->rowCount() : 0;
    setFixedHeight(rows ? rows * JobRowDelegate::rowHeight() - JobRowDelegate::spacing : 0);
}

void JobRowsView::setRowsOpen(bool open)
{
    if (open == rowsOpen_)
        return;
    rowsOpen_ = open;
    viewport()->update();
}

void JobRowsView::mouseReleaseEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    const bool plain = event->button() == Qt::LeftButton &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier));
    QListView::mouseReleaseEvent(event);
    if (!plain || !index.isValid())
        return;
    if (JobRowDelegate::deleteButton(visualRect(index)).contains(event->position().toPoint()))
        emit deleteRequested({index});
    else if (rowsOpen_)
        emit openRequested(index);
}

void JobRowsView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && !chosenRows().isEmpty()) {
        emit deleteRequested(chosenRows());
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid()) {
        if (rowsOpen_)
            emit openRequested(currentIndex());
        return;
    }
    QListView::keyPressEvent(event);
}

void JobRowsView::focusInEvent(QFocusEvent* event)
{
    keyboardFocus_ = event->reason() == Qt::TabFocusReason ||
                     event->reason() == Qt::BacktabFocusReason ||
                     event->reason() == Qt::ShortcutFocusReason;
    if (keyboardFocus_ && !currentIndex().isValid() && model() && model()->rowCount())
        selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
    QListView::focusInEvent(event);
}

void JobRowsView::focusOutEvent(QFocusEvent* event)
{
    keyboardFocus_ = false;
    QListView::focusOutEvent(event);
}

} // namespace tonfield::ui
