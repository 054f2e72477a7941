// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/history_list.hpp"

#include "model/display_text.hpp"
#include "model/job_values.hpp"
#include "ui/job_rows.hpp"
#include "ui/theme.hpp"

#include "interop/qt_paths.hpp"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <filesystem>

namespace tonfield::ui {
namespace {

// The status filter's choices: label and stored status ("" for all).
constexpr std::pair<const char*, std::string_view> statusChoices[] = {
    {"全部", ""},
    {"已完成", job_status::done},
    {"失败", job_status::error},
    {"已取消", job_status::cancelled},
    {"排队中", job_status::queued},
    {"处理中", job_status::running},
};

// What an empty list says: that the library is empty, or out of reach.
const char* const kEmptyText = "还没有处理记录，先导入一首音乐。 ";
const char* const kUnreachableText = "找不到分轨引擎文件夹，处理记录暂时无法读取。";

} // namespace

HistoryList::HistoryList(Workbench& workbench, QWidget* parent)
    : Panel(parent)
    , workbench_(workbench)
    , usage_(textLabel("", theme::font(10), theme::muted()))
    , search_(new QLineEdit)
    , status_(new QComboBox)
    , deleteChosen_(textButton("deleteChosen", "删除所选", theme::font(13), theme::destructive()))
    , emptyText_(textLabel(kEmptyText, theme::font(13), theme::muted()))
    , noMatch_(textLabel("没有符合条件的处理记录。", theme::font(13), theme::muted()))
    , model_(new JobRowsModel)
    , view_(new JobRowsView)
{
    setObjectName("historyList");
    setAcceptDrops(true);
    model_->setParent(this);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    header->addWidget(textLabel("处理记录", theme::font(13, QFont::DemiBold), Qt::white));
    usage_->setObjectName("diskUsage");
    header->addWidget(usage_);
    header->addStretch();
    auto* refreshButton = textButton("refresh", "刷新", theme::font(13), theme::mint());
    header->addWidget(refreshButton);
    content()->addLayout(header);
    connect(refreshButton, &QAbstractButton::clicked, this, [this] { workbench_.loadHistory(); });

    auto* tools = new QHBoxLayout;
    tools->setSpacing(12);
    search_->setObjectName("historySearch");
    search_->setPlaceholderText("搜索文件名");
    search_->setClearButtonEnabled(true);
    search_->setFont(theme::font(12));
    search_->setStyleSheet(
        QString("QLineEdit { background: %1; border: 1px solid %2; border-radius: 6px;"
                " padding: 5px 8px; color: white; }")
            .arg(theme::css(theme::white(0.04)), theme::css(theme::white(0.15))));
    search_->setAccessibleName("搜索文件名");
    addFocusRing(*search_);
    tools->addWidget(search_, 1);
    status_->setObjectName("statusFilter");
    status_->setFont(theme::font(12));
    status_->setAccessibleName("按状态筛选");
    for (const auto& [label, stored] : statusChoices)
        status_->addItem(label, QString::fromUtf8(stored.data(), stored.size()));
    addFocusRing(*status_);
    tools->addWidget(status_);
    tools->addWidget(deleteChosen_);
    content()->addLayout(tools);
    connect(search_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    connect(status_, &QComboBox::currentIndexChanged, this, [this] { applyFilter(); });
    connect(deleteChosen_, &QAbstractButton::clicked, this,
            [this] { confirmDeletion(view_->chosenRows()); });

    emptyText_->setObjectName("emptyHistory");
    emptyText_->setContentsMargins(0, 35, 0, 35);
    content()->addWidget(emptyText_);
    noMatch_->setObjectName("noMatch");
    noMatch_->setContentsMargins(0, 35, 0, 35);
    content()->addWidget(noMatch_);

    view_->setModel(model_);
    content()->addWidget(view_);
    connect(view_, &JobRowsView::openRequested, this,
            [this](const QModelIndex& index) { workbench_.select(model_->job(index.row())); });
    connect(view_, &JobRowsView::deleteRequested, this, &HistoryList::confirmDeletion);
    connect(view_, &QWidget::customContextMenuRequested, this, &HistoryList::showMenu);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { deleteChosen_->setVisible(view_->selectionModel()->hasSelection()); });
    applyFilter();
    refresh();
}

void HistoryList::refresh(const FieldSet& changed)
{
    if (changed.any({Workbench::Field::jobs, Workbench::Field::queue}))
        jobsStale_ = true;
    if (jobsStale_ && isVisible())
        showJobs();
    if (changed.any({Workbench::Field::diskUsage})) {
        model_->setSizes(workbench_.storedJobs().diskUsage());
        showUsage();
    }
    if (changed.any({Workbench::Field::busy}))
        view_->setRowsOpen(!workbench_.busy());
    if (changed.any({Workbench::Field::engineRoot, Workbench::Field::jobs}))
        emptyText_->setText(jobStoreReachable() ? kEmptyText : kUnreachableText);
}

void HistoryList::showEvent(QShowEvent* event)
{
    Panel::showEvent(event);
    if (jobsStale_)
        showJobs();
}

void HistoryList::showJobs()
{
    jobsStale_ = false;
    if (library_ && workbench_.jobs() == shownJobs_)
        return;
    shownJobs_ = workbench_.jobs();
    library_.emplace(shownJobs_);
    applyFilter();
}

// An empty list says the library is empty only when the engine folder that
// holds it is there to read; moved away, it says so.
bool HistoryList::jobStoreReachable() const
{
    const auto& root = workbench_.engineRoot();
    std::error_code error;
    return root && std::filesystem::is_directory(*root, error);
}

// Runs at every keystroke: the library only compares prepared keys, and the
// view paints only the rows on screen.
void HistoryList::applyFilter()
{
    const LibraryFilter filter{search_->text().toStdString(),
                               status_->currentData().toString().toStdString()};
    std::vector<std::size_t> rows = library_ ? library_->rows(filter) : std::vector<std::size_t>();
    const bool anyJob = !shownJobs_.empty();
    emptyText_->setVisible(!anyJob);
    noMatch_->setVisible(anyJob && rows.empty());
    view_->setVisible(!rows.empty()); // an empty list would still take a spacing
    model_->setRows(shownJobs_, std::move(rows));
    view_->fitHeight();
    deleteChosen_->setVisible(false);
}

void HistoryList::showUsage()
{
    const DiskUsage& usage = workbench_.storedJobs().diskUsage();
    QString text;
    if (!usage.jobBytes.empty())
        text = "占用 " + QString::fromStdString(display::bytes(usage.totalBytes()));
    if (usage.freeBytes)
        text += (text.isEmpty() ? "" : " · ") + QString("可用 ") +
                QString::fromStdString(display::bytes(*usage.freeBytes));
    usage_->setText(text);
}

void HistoryList::confirmDeletion(const QModelIndexList& rows)
{
    std::vector<std::string> ids;
    for (const QModelIndex& index : rows)
        ids.push_back(model_->job(index.row()).id);
    const DeletionPlan plan = workbench_.storedJobs().planDeletion(ids);
    if (plan.ids.empty()) {
        if (plan.skipsRunning)
            workbench_.setError("正在处理的任务不能删除，请先停止它。");
        return;
    }
    const display::Confirmation text = display::deletionQuestion(plan);
    QMessageBox question(QMessageBox::Warning, "删除处理记录",
                         QString::fromStdString(text.question), QMessageBox::NoButton, this);
    question.setObjectName("deleteConfirmation");
    question.setInformativeText(QString::fromStdString(text.detail));
    QPushButton* remove = question.addButton("删除", QMessageBox::DestructiveRole);
    question.setDefaultButton(question.addButton("取消", QMessageBox::RejectRole));
    question.exec();
    if (question.clickedButton() == remove)
        workbench_.storedJobs().deleteJobs(plan.ids);
}

void HistoryList::showMenu(const QPoint& position)
{
    const QModelIndex index = view_->indexAt(position);
    if (!index.isValid())
        return;
    if (!view_->selectionModel()->isSelected(index))
        view_->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    const Job job = model_->job(index.row());
    const bool idle = !workbench_.busy();
    QMenu menu(this);
    menu.addAction("打开", this, [this, job] { workbench_.select(job); })->setEnabled(idle);
    menu.addAction("重新分轨", this, [this, job] { workbench_.storedJobs().runAgain(job); })
        ->setEnabled(idle);
    if (job.status == job_status::queued)
        menu.addAction("取消排队", this,
                       [this, job] { workbench_.jobQueue().cancelQueued(job.id); });
    menu.addSeparator();
    menu.addAction("删除…", this, [this] { confirmDeletion(view_->chosenRows()); });
    menu.exec(view_->viewport()->mapToGlobal(position));
}

// Several songs dropped here join the queue, in the order dropped.
void HistoryList::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localFileUrls(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void HistoryList::dropEvent(QDropEvent* event)
{
    std::vector<std::filesystem::path> files;
    for (const QUrl& url : localFileUrls(event->mimeData()))
        files.push_back(toPath(url.toLocalFile()));
    if (files.empty()) {
        event->ignore();
        return;
    }
    workbench_.jobQueue().enqueue(files);
    event->acceptProposedAction();
}

} // namespace tonfield::ui
