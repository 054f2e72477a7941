// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/analysis_bar.hpp"

#include "ui/song_ruler.hpp"
#include "ui/theme.hpp"
#include "ui/widgets.hpp"
#include "workbench/workbench.hpp"

#include "analysis/timeline_text.hpp"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolButton>

namespace tonfield::ui {

AnalysisBar::AnalysisBar(Workbench& workbench, const SongRuler& ruler, QWidget* parent)
    : QWidget(parent)
    , workbench_(workbench)
    , ruler_(ruler)
    , summary_(textLabel("", theme::font(11, QFont::Medium), Qt::white))
    , chord_(textLabel("", theme::font(11, QFont::Medium), theme::mint()))
    , correct_(new QToolButton)
    , menu_(new QMenu(this))
{
    setObjectName("analysisBar");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    summary_->setObjectName("analysisSummary");
    summary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    chord_->setObjectName("currentChord");
    row->addWidget(summary_, 1);
    row->addWidget(chord_);
    correct_->setObjectName("correctAnalysis");
    correct_->setText("校正");
    correct_->setAutoRaise(true);
    correct_->setFont(theme::font(10));
    correct_->setPopupMode(QToolButton::InstantPopup);
    correct_->setAccessibleName("校正节拍与调性");
    correct_->setMenu(menu_);
    addFocusRing(*correct_);
    QPalette palette = correct_->palette();
    palette.setColor(QPalette::ButtonText, theme::mint());
    correct_->setPalette(palette);
    row->addWidget(correct_);
    buildMenu();
    refresh(FieldSet::all());
}

void AnalysisBar::buildMenu()
{
    SongTimeline& timeline = workbench_.songTimeline();
    connect(menu_->addAction("速度减半"), &QAction::triggered, this,
            [&timeline] { timeline.halveTempo(); });
    connect(menu_->addAction("速度加倍"), &QAction::triggered, this,
            [&timeline] { timeline.doubleTempo(); });
    connect(menu_->addAction("第一小节后移一拍"), &QAction::triggered, this,
            [&timeline] { timeline.moveFirstBar(); });
    QMenu* keys = menu_->addMenu("调性");
    keys->setObjectName("keyMenu");
    auto* group = new QActionGroup(keys);
    QAction* found = keys->addAction("按分析结果");
    found->setObjectName("keyFound");
    found->setCheckable(true);
    group->addAction(found);
    connect(found, &QAction::triggered, this, [&timeline] { timeline.setKey(std::nullopt); });
    keys->addSeparator();
    for (const bool minor : {false, true})
        for (int tonic = 0; tonic < 12; ++tonic) {
            const analysis::Key key{.tonic = tonic, .minor = minor, .confidence = 1};
            QAction* action = keys->addAction(QString::fromStdString(analysis::keyName(key)));
            action->setCheckable(true);
            action->setProperty("tonic", tonic);
            action->setProperty("minor", minor);
            group->addAction(action);
            connect(action, &QAction::triggered, this, [&timeline, key] { timeline.setKey(key); });
        }
    // The key chosen by hand, or the analysis's, is the one ticked.
    connect(menu_, &QMenu::aboutToShow, this, [this, keys] {
        const auto& mine = workbench_.songTimeline().corrections().key;
        for (QAction* action : keys->actions())
            if (action->isCheckable())
                action->setChecked(mine ? action->property("tonic").isValid() &&
                                              action->property("tonic").toInt() == mine->tonic &&
                                              action->property("minor").toBool() == mine->minor
                                        : action->objectName() == "keyFound");
    });
}

void AnalysisBar::showChord()
{
    const QString chord = ruler_.currentChord();
    chord_->setText(chord.isEmpty() ? QString() : "和弦 " + chord);
}

void AnalysisBar::refresh(const FieldSet& changed)
{
    using Field = WorkbenchField;
    if (changed.any({Field::analysis, Field::tempo})) {
        const SongTimeline& timeline = workbench_.songTimeline();
        const AnalysisStatus& status = timeline.status();
        QString text;
        switch (status.stage) {
        case AnalysisStatus::Stage::none:
            break;
        case AnalysisStatus::Stage::analysing:
            text = "正在分析节拍、调性与和弦… " +
                   QString::number(static_cast<int>(status.fraction * 100)) + "%";
            break;
        case AnalysisStatus::Stage::failed:
            text = "无法分析：" + QString::fromStdString(status.failure);
            break;
        case AnalysisStatus::Stage::ready:
            const mixer::Tempo& tempo = workbench_.mixDesk().tempo();
            text = QString::fromStdString(
                analysis::tempoAndKey(*timeline.analysis(), tempo.speed, tempo.semitones));
            break;
        }
        summary_->setText(text);
        summary_->setToolTip(status.stage == AnalysisStatus::Stage::failed ? text : QString());
        setLabelColour(*summary_,
                       status.stage == AnalysisStatus::Stage::ready ? Qt::white : theme::muted());
        correct_->setVisible(status.stage == AnalysisStatus::Stage::ready);
        setVisible(status.stage != AnalysisStatus::Stage::none);
    }
    if (changed.any({Field::analysis, Field::tempo, Field::playbackTime, Field::mixPlaying}))
        showChord();
}

} // namespace tonfield::ui
