// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/playback_bar.hpp"

#include "model/display_text.hpp"
#include "ui/theme.hpp"
#include "ui/widgets.hpp"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>

namespace tonfield::ui {
namespace {

// A timeline: a click on the track jumps there and can go on as a drag,
// where a plain slider would only step towards the click.
class TimelineSlider final : public QSlider {
public:
    TimelineSlider()
        : QSlider(Qt::Horizontal)
    {
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) {
            QStyleOptionSlider option;
            initStyleOption(&option);
            const QRect handle =
                style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
            const QPoint at = event->position().toPoint();
            if (!handle.contains(at)) {
                const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option,
                                                             QStyle::SC_SliderGroove, this);
                const int span = groove.width() - handle.width();
                const int offset = at.x() - groove.x() - handle.width() / 2;
                setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), offset, span));
            }
        }
        QSlider::mousePressEvent(event); // the handle is under the pointer now: a drag
    }
};

} // namespace

PlaybackBar::PlaybackBar(Workbench& workbench, QWidget* parent)
    : QWidget(parent)
    , workbench_(workbench)
    , name_(textLabel("", theme::font(10), Qt::white))
    , position_(textLabel("", theme::monospaceFont(9), theme::muted()))
    , slider_(new TimelineSlider)
    , length_(textLabel("", theme::monospaceFont(9), theme::muted()))
{
    setObjectName("playbackBar");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(17, 17, 17, 17);
    row->setSpacing(15);
    row->addWidget(symbolLabel("waveform", 16, theme::mint()));
    name_->setObjectName("playingName");
    name_->setFixedWidth(190);
    row->addWidget(name_);
    position_->setObjectName("position");
    row->addWidget(position_);
    slider_->setObjectName("slider");
    slider_->setAccessibleName("播放位置");
    addFocusRing(*slider_);
    // Arrow keys move 5 s and Page Up/Down 30 s; Home and End go to the ends.
    slider_->setSingleStep(5 * stepsPerSecond);
    slider_->setPageStep(30 * stepsPerSecond);
    row->addWidget(slider_, 1);
    length_->setObjectName("length");
    row->addWidget(length_);
    auto* stop = symbolButton("xmark", 14, theme::muted());
    stop->setObjectName("stopPlayback");
    stop->setText("停止试听");
    row->addWidget(stop);

    // Programmatic moves are made with signals blocked, so every value change
    // seen here is the user's, while dragging as well as at the end.
    connect(slider_, &QSlider::valueChanged, this,
            [this](int value) { workbench_.seek(static_cast<double>(value) / stepsPerSecond); });
    connect(stop, &QAbstractButton::clicked, this, [this] { workbench_.stopPlayback(); });
    refresh();
}

void PlaybackBar::refresh(const FieldSet& changed)
{
    if (!changed.any({Workbench::Field::playingURL, Workbench::Field::playbackTime,
                      Workbench::Field::playbackDuration, Workbench::Field::mixPlaying}))
        return;
    const auto& playing = workbench_.playingURL();
    const QString name = playing ? QString::fromStdString(playing->filename().string())
                         : workbench_.mixDesk().mixPlaying() ? QString("混音台")
                                                             : QString("已暂停");
    // Cut in the middle: a stem's kind is at the end of its name.
    name_->setText(name_->fontMetrics().elidedText(name, Qt::ElideMiddle, name_->width()));
    position_->setText(QString::fromStdString(display::time(workbench_.playbackTime())));
    length_->setText(QString::fromStdString(display::time(workbench_.playbackDuration())));
    // A screen reader reads the position as it is shown, not in steps.
    slider_->setAccessibleDescription(position_->text() + " / " + length_->text());
    const QSignalBlocker blocker(slider_);
    const double rangeSeconds = std::max(workbench_.playbackDuration(), 1.0);
    slider_->setRange(0, static_cast<int>(std::lround(rangeSeconds * stepsPerSecond)));
    if (!slider_->isSliderDown())
        slider_->setValue(
            static_cast<int>(std::lround(workbench_.playbackTime() * stepsPerSecond)));
}

void PlaybackBar::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), theme::surface());
}

} // namespace tonfield::ui
