#include "ui/history_list.hpp"

#include "model/display_text.hpp"
#include "model/job_values.hpp"
#include "ui/theme.hpp"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLocale>

#include <cmath>

namespace tonfield::ui {
namespace {

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

} // namespace

HistoryList::HistoryList(Workbench& workbench, QWidget* parent)
    : Panel(parent)
    , workbench_(workbench)
    , emptyText_(textLabel("还没有处理记录，先导入一首音乐。 ", theme::font(13), theme::muted()))
    , rows_(new QWidget)
{
    setObjectName("historyList");
    auto* header = new QHBoxLayout;
    header->addWidget(textLabel("处理记录", theme::font(13, QFont::DemiBold), Qt::white));
    header->addStretch();
    auto* refreshButton = new BoxButton({});
    refreshButton->setObjectName("refresh");
    auto* refreshRow = new QHBoxLayout(refreshButton);
    refreshRow->setContentsMargins(0, 0, 0, 0);
    refreshRow->addWidget(textLabel("刷新", theme::font(13), theme::mint()));
    header->addWidget(refreshButton);
    content()->addLayout(header);
    connect(refreshButton, &QAbstractButton::clicked, this, [this] { workbench_.loadHistory(); });

    emptyText_->setObjectName("emptyHistory");
    emptyText_->setContentsMargins(0, 35, 0, 35);
    content()->addWidget(emptyText_);

    rows_->setObjectName("jobRows");
    auto* rowsLayout = new QVBoxLayout(rows_);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(13);
    content()->addWidget(rows_);
    refresh();
}

void HistoryList::refresh(const FieldSet& changed)
{
    if (!changed.any({Workbench::Field::jobs, Workbench::Field::busy}))
        return;
    emptyText_->setVisible(workbench_.jobs().empty());
    rows_->setVisible(!workbench_.jobs().empty()); // an empty list would still take a spacing
    if (workbench_.jobs() != shownJobs_)
        rebuildRows();
    for (QWidget* row : rows_->findChildren<BoxButton*>("jobRow"))
        row->setEnabled(!workbench_.busy());
}

void HistoryList::rebuildRows()
{
    shownJobs_ = workbench_.jobs();
    deleteChildWidgets(*rows_);
    for (const Job& job : shownJobs_) {
        auto* row = new BoxButton({.fill = theme::white(0.025), .radius = 6});
        row->setObjectName("jobRow");
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(13, 13, 13, 13);
        layout->setSpacing(12);
        layout->addWidget(symbolLabel(job.status == job_status::done ? "checkmark.circle" : "clock",
                                      16, theme::mint()));
        auto* lines = new QVBoxLayout;
        lines->setSpacing(4);
        auto* name = new ElidedLabel(1, theme::font(12), Qt::white);
        name->setText(QString::fromStdString(job.filename));
        name->setObjectName("jobName");
        lines->addWidget(name);
        auto* date = textLabel(shortDate(job.created), theme::font(9), theme::muted());
        date->setObjectName("jobDate");
        lines->addWidget(date);
        layout->addLayout(lines, 1);
        auto* statusLabel = textLabel(QString::fromStdString(display::status(job.status)),
                                      theme::font(10), theme::muted());
        statusLabel->setObjectName("jobStatus");
        layout->addWidget(statusLabel);
        layout->addWidget(symbolLabel("chevron.right", 11, theme::muted()));
        connect(row, &QAbstractButton::clicked, this, [this, job] { workbench_.select(job); });
        rows_->layout()->addWidget(row);
    }
}

} // namespace tonfield::ui
