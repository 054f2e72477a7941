// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/song_ruler.hpp"

#include "ui/theme.hpp"
#include "workbench/workbench.hpp"

#include "analysis/timeline_text.hpp"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tonfield::ui {
namespace {

constexpr qreal kNumberRow = 14;
constexpr qreal kLeastBeatGap = 4;
constexpr qreal kLeastBarGap = 3;
constexpr qreal kLeastNumberGap = 28;

double playheadSeconds(const Workbench& workbench)
{
    return workbench.mixDesk().mixLoaded() ? workbench.playbackTime() : 0;
}

} // namespace

double timelineLength(const Workbench& workbench)
{
    return workbench.mixDesk().mixLoaded() ? workbench.playbackDuration()
                                           : workbench.mixDesk().mixLength();
}

void paintBeatGrid(QPainter& painter, const QRectF& area, const analysis::MusicalAnalysis& analysis,
                   double length)
{
    if (length <= 0 || analysis.beats.size() < 2)
        return;
    const qreal scale = area.width() / length;
    const bool beats = (analysis.beats[1] - analysis.beats[0]) * scale >= kLeastBeatGap;
    const bool bars = analysis.downbeats.size() < 2 ||
                      (analysis.downbeats[1] - analysis.downbeats[0]) * scale >= kLeastBarGap;
    if (beats)
        for (const double at : analysis.beats)
            painter.fillRect(QRectF(area.left() + at * scale, area.top(), 1, area.height()),
                             theme::white(0.06));
    if (bars)
        for (const double at : analysis.downbeats)
            painter.fillRect(QRectF(area.left() + at * scale, area.top(), 1, area.height()),
                             theme::white(0.2));
}

SongRuler::SongRuler(Workbench& workbench, QWidget* parent)
    : QWidget(parent)
    , workbench_(workbench)
{
    setObjectName("songRuler");
    setFocusPolicy(Qt::NoFocus);
    setFixedHeight(static_cast<int>(kNumberRow) + 22);
    setAccessibleName("和弦");
}

void SongRuler::alignWith(QWidget* timeline)
{
    alignedWith_ = timeline;
    update();
}

QRectF SongRuler::timelineSpan() const
{
    if (!alignedWith_)
        return rect();
    const QPoint left = alignedWith_->mapTo(window(), QPoint(0, 0));
    const QPoint here = mapTo(window(), QPoint(0, 0));
    return QRectF(left.x() - here.x(), 0, alignedWith_->width(), height());
}

QString SongRuler::currentChord() const
{
    const auto& found = workbench_.songTimeline().analysis();
    if (!found)
        return {};
    const double at = playheadSeconds(workbench_);
    const auto chord = std::find_if(found->chords.begin(), found->chords.end(),
                                    [at](const auto& span) { return at < span.end; });
    if (chord == found->chords.end())
        return {};
    return QString::fromStdString(
        analysis::chordSymbol(*chord, workbench_.mixDesk().tempo().semitones));
}

void SongRuler::paintEvent(QPaintEvent*)
{
    const auto& found = workbench_.songTimeline().analysis();
    const double length = timelineLength(workbench_);
    if (!found || length <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF span = timelineSpan();
    const qreal scale = span.width() / length;
    const double at = playheadSeconds(workbench_);
    const int semitones = workbench_.mixDesk().tempo().semitones;

    // Bar numbers: every bar, or every 2nd, 4th... when they would crowd.
    painter.setFont(theme::font(9));
    const double barSeconds = found->downbeats.size() >= 2
                                  ? found->downbeats[1] - found->downbeats[0]
                                  : std::max(length, 1.0);
    int every = 1;
    while (barSeconds * every * scale < kLeastNumberGap && every < 1024)
        every *= 2;
    for (std::size_t bar = 0; bar < found->downbeats.size();
         bar += static_cast<std::size_t>(every)) {
        const qreal x = span.left() + found->downbeats[bar] * scale;
        painter.setPen(theme::muted());
        painter.drawText(QRectF(x + 2, 0, kLeastNumberGap * every, kNumberRow),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::number(bar + 1));
        painter.fillRect(QRectF(x, 2, 1, kNumberRow - 4), theme::white(0.3));
    }

    // The chords: a box each, the one being played in mint.
    painter.setFont(theme::font(10, QFont::Medium));
    const QRectF lane(span.left(), kNumberRow, span.width(), height() - kNumberRow);
    for (const auto& chord : found->chords) {
        if (!chord.root)
            continue;
        const QRectF box(lane.left() + chord.start * scale + 1, lane.top() + 2,
                         std::max<qreal>((chord.end - chord.start) * scale - 2, 1),
                         lane.height() - 4);
        const bool playing = chord.start <= at && at < chord.end;
        painter.setPen(Qt::NoPen);
        painter.setBrush(playing ? theme::withAlpha(theme::mint(), 0.25) : theme::white(0.05));
        painter.drawRoundedRect(box, 3, 3);
        const QString symbol = QString::fromStdString(analysis::chordSymbol(chord, semitones));
        if (painter.fontMetrics().horizontalAdvance(symbol) + 4 <= box.width()) {
            painter.setPen(playing ? theme::mint() : Qt::white);
            painter.drawText(box, Qt::AlignCenter, symbol);
        }
    }
}

} // namespace tonfield::ui
