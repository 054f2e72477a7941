// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/results_panel.hpp"

#include "model/display_text.hpp"
#include "model/file_name.hpp"
#include "ui/spinner.hpp"
#include "ui/theme.hpp"

#include "interop/qt_paths.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>

namespace tonfield::ui {
namespace {

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

// A thin determinate bar: how much of the run the engine reports done.
class ProgressBar final : public QWidget {
public:
    ProgressBar()
    {
        setObjectName("progressBar");
        setFixedSize(220, 4);
    }
    void setFraction(double fraction)
    {
        fraction = std::clamp(fraction, 0.0, 1.0);
        if (fraction != fraction_) {
            fraction_ = fraction;
            update();
        }
    }
    double fraction() const { return fraction_; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme::white(0.08));
        painter.drawRoundedRect(QRectF(rect()), 2, 2);
        painter.setBrush(theme::mint());
        painter.drawRoundedRect(QRectF(0, 0, width() * fraction_, height()), 2, 2);
    }

private:
    double fraction_ = 0;
};

} // namespace

ResultsPanel::ResultsPanel(Workbench& workbench, std::function<void(const QUrl&)> openUrl,
                           QWidget* parent)
    : Panel(parent)
    , workbench_(workbench)
    , exportAll_(new BoxButton({}))
    , progress_(new QWidget)
    , progressMessage_(textLabel("", theme::font(12), Qt::white))
    , progressTime_(textLabel("", theme::font(9), theme::muted()))
    , progressBar_(new ProgressBar)
    , progressPercent_(textLabel("", theme::font(9), theme::muted()))
    , queueLine_(textLabel("", theme::font(9), theme::muted()))
    , shownJob_(textLabel("", theme::font(10), theme::muted()))
    , emptyState_(new QWidget)
    , emptyMessage_(textLabel("", theme::font(12), theme::muted()))
    , rows_(new QWidget)
    , logBlock_(new QWidget)
    , logToggle_(new QToolButton)
    , logView_(new QPlainTextEdit)
    , reveal_(new BoxButton({}))
{
    setObjectName("resultsPanel");
    addHeader();
    addProgress();
    addEmptyState();
    addStemList();
    addLog();
    addReveal();

    connect(exportAll_, &QAbstractButton::clicked, this, [this] { workbench_.exportAll(); });
    // Showing a folder is the one thing a view asks of the desktop directly.
    connect(reveal_, &QAbstractButton::clicked, this, [this, openUrl] {
        if (auto folder = workbench_.activeFolder())
            openUrl(QUrl::fromLocalFile(toQString(*folder)));
    });
    refresh();
}

// The title and the "导出全部" link.
void ResultsPanel::addHeader()
{
    auto* header = new QHBoxLayout;
    header->addWidget(panelTitle("03", "分离结果", ""), 1);
    exportAll_->setObjectName("exportAll");
    auto* exportAllRow = new QHBoxLayout(exportAll_);
    exportAllRow->setContentsMargins(0, 0, 0, 0);
    exportAllRow->addWidget(textLabel("导出全部", theme::font(10), theme::mint()));
    header->addWidget(exportAll_);
    content()->addLayout(header);
    content()->addSpacing(4);
    // The source panel shows the last imported song, which a job opened from
    // the history need not be: the results name their own.
    shownJob_->setObjectName("shownJob");
    shownJob_->setTextFormat(Qt::PlainText);
    content()->addWidget(shownJob_);
}

// The spinner with the status line and the time taken, while a job runs.
void ResultsPanel::addProgress()
{
    progress_->setObjectName("progress");
    auto* progressRow = new QHBoxLayout(progress_);
    progressRow->setContentsMargins(0, 22, 0, 22);
    progressRow->setSpacing(13);
    progressRow->addWidget(new Spinner);
    auto* progressLines = new QVBoxLayout;
    progressLines->setSpacing(7);
    progressMessage_->setObjectName("progressMessage");
    progressTime_->setObjectName("progressTime");
    progressLines->addWidget(progressMessage_);
    progressLines->addWidget(progressTime_);
    // Only while the engine prints a percentage.
    progressPercent_->setObjectName("progressPercent");
    auto* determinate = new QHBoxLayout;
    determinate->setSpacing(10);
    determinate->addWidget(progressBar_, 0, Qt::AlignVCenter);
    determinate->addWidget(progressPercent_);
    progressLines->addLayout(determinate);
    queueLine_->setObjectName("queueLine");
    progressLines->addWidget(queueLine_);
    progressRow->addLayout(progressLines);
    progressRow->addStretch();
    content()->addWidget(progress_);
}

// What the card says when there are no stems.
void ResultsPanel::addEmptyState()
{
    emptyState_->setObjectName("emptyState");
    auto* empty = new QVBoxLayout(emptyState_);
    empty->setContentsMargins(0, 29, 0, 29);
    empty->setSpacing(8);
    empty->addWidget(symbolLabel("waveform.path", 35, theme::withAlpha(theme::mint(), 0.25)), 0,
                     Qt::AlignHCenter);
    emptyMessage_->setObjectName("emptyMessage");
    emptyMessage_->setWordWrap(true);
    emptyMessage_->setAlignment(Qt::AlignHCenter);
    empty->addWidget(emptyMessage_);
    empty->addWidget(textLabel("完成分离后，在这里试听和导出独立音轨", theme::font(10),
                               theme::withAlpha(theme::muted(), 0.7)),
                     0, Qt::AlignHCenter);
    content()->addWidget(emptyState_);
}

// The stem rows, rebuilt when the stems change.
void ResultsPanel::addStemList()
{
    rows_->setObjectName("stemRows");
    auto* rowsLayout = new QVBoxLayout(rows_);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(13);
    content()->addWidget(rows_);
}

// The run log, collapsed under its toggle.
void ResultsPanel::addLog()
{
    logBlock_->setObjectName("logBlock");
    auto* log = new QVBoxLayout(logBlock_);
    log->setContentsMargins(0, 6, 0, 0);
    log->setSpacing(6);
    logToggle_->setObjectName("logToggle");
    addFocusRing(*logToggle_);
    logToggle_->setText("运行日志");
    logToggle_->setCheckable(true);
    logToggle_->setArrowType(Qt::RightArrow);
    logToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    logToggle_->setAutoRaise(true);
    logToggle_->setFont(theme::font(10));
    logToggle_->setStyleSheet(
        QString("QToolButton { color: %1; border: none; background: transparent; }")
            .arg(theme::css(theme::muted())));
    log->addWidget(logToggle_, 0, Qt::AlignLeft);
    logView_->setObjectName("logView");
    logView_->setReadOnly(true);
    logView_->setFixedHeight(160);
    logView_->setFont(theme::monospaceFont(9));
    // Long lines wrap (anywhere, for paths with no spaces) rather than scroll.
    logView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    logView_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    logView_->setVisible(false);
    log->addWidget(logView_);
    content()->addWidget(logBlock_);
    connect(logToggle_, &QToolButton::toggled, this, [this](bool expanded) {
        logToggle_->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
        logView_->setVisible(expanded);
    });
}

// The way to the job's folder in the file manager.
void ResultsPanel::addReveal()
{
    reveal_->setObjectName("reveal");
    auto* revealRow = new QHBoxLayout(reveal_);
    revealRow->setContentsMargins(0, 4, 0, 0);
    revealRow->setSpacing(5);
    revealRow->addWidget(symbolLabel("folder", 12, theme::mint()));
    revealRow->addWidget(textLabel("在文件管理器中显示结果", theme::font(10), theme::mint()));
    revealRow->addStretch();
    content()->addWidget(reveal_);
}

void ResultsPanel::refresh(const FieldSet& changed)
{
    if (!changed.any({Workbench::Field::busy, Workbench::Field::elapsed, Workbench::Field::log,
                      Workbench::Field::message, Workbench::Field::playingURL,
                      Workbench::Field::selectedJob, Workbench::Field::stems,
                      Workbench::Field::progress, Workbench::Field::timeLeft,
                      Workbench::Field::queue}))
        return;
    const bool busy = workbench_.busy();
    const bool hasStems = !workbench_.stems().empty();
    exportAll_->setVisible(hasStems);
    const auto& selected = workbench_.selectedJob();
    shownJob_->setVisible(selected.has_value());
    if (selected) {
        const std::string summary = display::jobSummary(*selected);
        shownJob_->setText(qt(selected->filename + (summary.empty() ? "" : " · " + summary)));
    }

    progress_->setVisible(busy);
    progressMessage_->setText(qt(workbench_.message()));
    progressTime_->setText("已用时 " + qt(display::time(workbench_.elapsed())) +
                           " · 首次加载可能需要较长时间");
    const auto& percent = workbench_.progress();
    progressBar_->setVisible(percent.has_value());
    progressPercent_->setVisible(percent.has_value());
    if (percent) {
        static_cast<ProgressBar*>(progressBar_)->setFraction(*percent / 100);
        QString text = QString::number(static_cast<int>(*percent)) + "%";
        if (const auto& left = workbench_.timeLeft())
            text += " · 预计剩余 " + qt(display::time(*left));
        progressPercent_->setText(text);
    }
    const std::size_t waiting = workbench_.jobQueue().queue().size();
    const QueueRun& run = workbench_.jobQueue().queueRun();
    queueLine_->setVisible(waiting > 0 || (busy && run.taken > 0));
    const std::optional<double> left =
        queueSecondsLeft(run, waiting, workbench_.elapsed(), workbench_.timeLeft());
    const auto& running = workbench_.selectedJob();
    queueLine_->setText(
        qt(display::queueLine(run, waiting, running ? running->filename : "", left)));

    emptyState_->setVisible(!busy && !hasStems);
    rows_->setVisible(hasStems); // an empty list would still take a spacing
    emptyMessage_->setText(workbench_.selectedJob() ? qt(workbench_.message())
                                                    : QString("每条音轨，都有自己的声音"));

    if (workbench_.stems() != shownStems_)
        rebuildRows();
    const auto& playing = workbench_.playingURL();
    for (QLabel* symbol : rows_->findChildren<QLabel*>("rowPlay")) {
        const bool isPlaying =
            playing && symbol->property("stem").toString() == toQString(*playing);
        setSymbol(*symbol, isPlaying ? "pause.fill" : "play.fill");
        auto* button = static_cast<QAbstractButton*>(symbol->parentWidget());
        button->setText((isPlaying ? "暂停 " : "播放 ") + symbol->property("stemName").toString());
    }

    const std::string& log = workbench_.log();
    logBlock_->setVisible(!log.empty());
    if (log.empty())
        logToggle_->setChecked(false); // shown again collapsed, as when first shown
    // The log is re-read at every tick, mostly unchanged: comparing the bytes
    // costs far less than turning 24 KB into text again.
    if (log != shownLog_) {
        shownLog_ = log;
        // Re-read whole; keep the reader where they were.
        const int position = logView_->verticalScrollBar()->value();
        logView_->setPlainText(qt(log));
        logView_->verticalScrollBar()->setValue(position);
    }
    reveal_->setVisible(hasStems);
}

void ResultsPanel::rebuildRows()
{
    shownStems_ = workbench_.stems();
    deleteChildWidgets(*rows_);
    for (const Stem& stem : shownStems_) {
        auto* row = new RoundedBox({.fill = theme::white(0.025), .radius = 6});
        row->setObjectName("stemRow");
        offerFileDrag(*row, [url = stem.url] { return std::optional<std::filesystem::path>(url); });
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(10, 10, 10, 10);
        layout->setSpacing(12);

        auto* play = new BoxButton({.fill = theme::withAlpha(theme::mint(), 0.09), .radius = 6});
        play->setObjectName("rowPlayButton");
        play->setFixedSize(30, 34);
        auto* playLayout = new QHBoxLayout(play);
        playLayout->setContentsMargins(0, 0, 0, 0);
        auto* playSymbol = symbolLabel("play.fill", 16, theme::mint());
        playSymbol->setObjectName("rowPlay");
        playSymbol->setProperty("stem", toQString(stem.url));
        playSymbol->setProperty("stemName", qt(stem.name()));
        play->setText("播放 " + qt(stem.name())); // what a screen reader says
        playLayout->addWidget(playSymbol);
        layout->addWidget(play);
        connect(play, &QAbstractButton::clicked, this,
                [this, url = stem.url] { workbench_.play(url); });

        auto* lines = new QVBoxLayout;
        lines->setSpacing(5);
        auto* name = new ElidedLabel(1, theme::font(12, QFont::Medium), Qt::white);
        name->setObjectName("stemName");
        name->setText(qt(stem.name()));
        lines->addWidget(name);
        const QString kind = qt(lowercasedExtension(stem.url)).toUpper() + " · 独立音轨";
        lines->addWidget(textLabel(kind, theme::font(8), theme::muted()));
        layout->addLayout(lines, 1); // a long name is cut; the buttons keep their place

        auto* exportButton = symbolButton("square.and.arrow.down", 16, theme::muted());
        exportButton->setObjectName("rowExport");
        exportButton->setToolTip("导出 " + qt(stem.name()));
        exportButton->setText(exportButton->toolTip());
        layout->addWidget(exportButton);
        connect(exportButton, &QAbstractButton::clicked, this,
                [this, stem] { workbench_.exportStem(stem); });

        rows_->layout()->addWidget(row);
    }
    QList<QWidget*> order{exportAll_};
    for (QAbstractButton* button : rows_->findChildren<QAbstractButton*>())
        order << button;
    tabThrough(order << logToggle_ << reveal_);
}

} // namespace tonfield::ui
