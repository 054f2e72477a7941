// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "analysis/musical_analysis.hpp"

#include <QPointer>
#include <QWidget>

class QPainter;

namespace tonfield {
class Workbench;
}

namespace tonfield::ui {

// How long the strips' timelines are: the mix's length once it is loaded,
// else the stems' as their overviews told it.
double timelineLength(const Workbench& workbench);

// The beat grid under a timeline `length` seconds long drawn across `area`:
// a faint line on every beat, a stronger one on every bar line. Beats closer
// than a few pixels are left out rather than fill the strip.
void paintBeatGrid(QPainter& painter, const QRectF& area, const analysis::MusicalAnalysis& analysis,
                   double length);

// Above the mixer's strips: the bar numbers and the chords, on the strips'
// time scale, the chord being played lit. It lines up with `alignedWith` (a
// strip's timeline), whose span across the row it measures when it paints.
// It takes no focus: a screen reader reads the chord from its description.
class SongRuler final : public QWidget {
public:
    explicit SongRuler(Workbench& workbench, QWidget* parent = nullptr);
    void alignWith(QWidget* timeline);
    // The chord under the playhead, transposed as the mix is ("Am"), or
    // empty for none.
    QString currentChord() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF timelineSpan() const;

    Workbench& workbench_;
    QPointer<QWidget> alignedWith_;
};

} // namespace tonfield::ui
