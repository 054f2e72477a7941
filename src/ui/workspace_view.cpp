// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/workspace_view.hpp"

#include "ui/history_list.hpp"
#include "ui/job_rows.hpp"
#include "ui/mixer_panel.hpp"
#include "ui/playback_bar.hpp"
#include "ui/results_panel.hpp"
#include "ui/settings_panel.hpp"
#include "ui/sidebar.hpp"
#include "ui/source_panel.hpp"
#include "ui/theme.hpp"
#include "ui/top_bar.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

namespace tonfield::ui {
namespace {

QWidget* introduction()
{
    auto* intro = new QWidget;
    auto* lines = new QVBoxLayout(intro);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(12);
    lines->addWidget(textLabel("●  POWERED BY UVR MODELS", theme::font(8, QFont::Normal, 2),
                               theme::withAlpha(theme::mint(), 0.75)));
    auto* headline = new QLabel(
        QString("听见音乐的每一层<span style=\"color:%1\">。</span>").arg(theme::mint().name()));
    headline->setFont(theme::font(29, QFont::DemiBold));
    setLabelColour(*headline, Qt::white);
    lines->addWidget(headline);
    lines->addWidget(textLabel("分离人声、还原乐器，让每一条音轨都有新的可能。", theme::font(11),
                               theme::muted()));
    return intro;
}

QWidget* footer()
{
    auto* row = new QWidget;
    row->setObjectName("footer");
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(textLabel("BUILT FOR LISTENERS. MADE FOR CREATORS.",
                                theme::font(8, QFont::Normal, 1.3), theme::muted()));
    layout->addStretch();
    layout->addWidget(textLabel("本地处理 · 音频不上传云端", theme::font(8), theme::muted()));
    return row;
}

// A line across the work area under the top bar.
class Divider final : public QWidget {
public:
    Divider() { setFixedHeight(1); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), theme::white(0.4 * 0.25));
    }
};

} // namespace

WorkspaceView::WorkspaceView(Workbench& workbench, std::function<void(const QUrl&)> openUrl,
                             QWidget* parent)
    : QWidget(parent)
    , workbench_(workbench)
    , sidebar_(new Sidebar(workbench, openUrl))
    , topBar_(new TopBar(workbench))
    , workspace_(new QWidget)
    , source_(new SourcePanel(workbench))
    , settings_(new SettingsPanel(workbench))
    , results_(new ResultsPanel(workbench, openUrl))
    , mixer_(new MixerPanel(workbench))
    , history_(new HistoryList(workbench))
    , playback_(new PlaybackBar(workbench))
{
    setObjectName("workspaceView");
    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    columns->addWidget(sidebar_);

    auto* work = new QVBoxLayout;
    work->setSpacing(0);
    work->addWidget(topBar_);
    work->addWidget(new Divider);

    auto* page = new QWidget;
    page->setObjectName("page");
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(30, 30, 30, 30);
    pageLayout->setSpacing(25);
    pageLayout->addWidget(introduction());

    workspace_->setObjectName("workspace");
    auto* workspaceColumn = new QVBoxLayout(workspace_);
    workspaceColumn->setContentsMargins(0, 0, 0, 0);
    workspaceColumn->setSpacing(20);
    auto* workspaceRow = new QHBoxLayout;
    workspaceRow->setSpacing(20);
    workspaceColumn->addLayout(workspaceRow); // first, so each panel joins the page as added
    auto* left = new QVBoxLayout;
    left->setSpacing(20);
    workspaceRow->addLayout(left, 1);
    // Tab follows the order in which the panels join the page: the source,
    // then the settings that start a job, then its results and their mixer.
    left->addWidget(source_);
    workspaceRow->addWidget(settings_, 0, Qt::AlignTop);
    left->addWidget(results_);
    left->addStretch();
    // The mixer spans both columns: at the smallest window its timelines and
    // sliders would otherwise share the narrow left one with four buttons each.
    workspaceColumn->addWidget(mixer_);
    // One of the two is shown; a hidden one takes no room.
    pageLayout->addWidget(workspace_);
    pageLayout->addWidget(history_);
    pageLayout->addWidget(footer()); // under the content, not at the window's bottom
    pageLayout->addStretch();

    auto* scroll = page_ = new QScrollArea;
    scroll->setObjectName("pageScroll");
    scroll->setWidgetResizable(true);
    scroll->setFocusPolicy(Qt::NoFocus); // Tab goes to the controls on the page
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidget(page);
    // The canvas shows through. Not a style sheet: one on the scroll area
    // would route every widget of the page through style-sheet matching.
    scroll->viewport()->setAutoFillBackground(false);
    page->setAutoFillBackground(false);
    work->addWidget(scroll, 1);
    work->addWidget(playback_);
    columns->addLayout(work, 1);
    refresh();
}

void WorkspaceView::refresh(const FieldSet& changed)
{
    sidebar_->refresh(changed);
    topBar_->refresh(changed);
    // Asked before the history hides: hiding it would hand its focus on to
    // the sidebar, as a Tab would, ring and all. A job opened from the
    // history takes the focus to its results instead, once they are built.
    QWidget* focused = QApplication::focusWidget();
    const bool leavingHistory =
        history_->isAncestorOf(focused) && historyShown_ && !workbench_.showHistory();
    const auto* rows = qobject_cast<const JobRowsView*>(focused);
    const Qt::FocusReason reason =
        rows && rows->keyboardFocus() ? Qt::TabFocusReason : Qt::OtherFocusReason;
    if (leavingHistory)
        setFocus(Qt::OtherFocusReason); // parked on the page, which shows none
    workspace_->setVisible(!workbench_.showHistory());
    history_->setVisible(workbench_.showHistory());
    if (workbench_.showHistory() != historyShown_) {
        historyShown_ = workbench_.showHistory();
        QScrollBar* scrolled = page_->verticalScrollBar();
        if (historyShown_) {
            workspaceScroll_ = scrolled->value();
            scrolled->setValue(0);
        } else {
            // Once the page has its workspace's height again.
            QTimer::singleShot(0, scrolled,
                               [scrolled, at = workspaceScroll_] { scrolled->setValue(at); });
        }
    }
    source_->refresh(changed);
    settings_->refresh(changed);
    results_->refresh(changed);
    mixer_->refresh(changed);
    history_->refresh(changed);
    playback_->setVisible(workbench_.playbackDuration() > 0);
    playback_->refresh(changed);
    if (leavingHistory)
        focusFirstControlOf(results_, reason);
}

void WorkspaceView::focusFirstControlOf(QWidget* panel, Qt::FocusReason reason)
{
    for (QWidget* next = panel->nextInFocusChain(); next && next != panel;
         next = next->nextInFocusChain()) {
        if (panel->isAncestorOf(next) && next->isVisibleTo(window()) && next->isEnabled() &&
            (next->focusPolicy() & Qt::TabFocus)) {
            next->setFocus(reason);
            return;
        }
    }
}

void WorkspaceView::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), theme::canvas());
}

} // namespace tonfield::ui
