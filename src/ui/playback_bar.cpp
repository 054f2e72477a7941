#include "ui/playback_bar.hpp"

#include "ui/formatters.hpp"
#include "ui/theme.hpp"
#include "ui/widgets.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace tonfield::ui {

PlaybackBar::PlaybackBar(Workbench& workbench, QWidget* parent)
    : QWidget(parent)
    , workbench_(workbench)
    , name_(textLabel("", theme::font(10), Qt::white))
    , position_(textLabel("", theme::monospaceFont(9), theme::muted()))
    , slider_(new QSlider(Qt::Horizontal))
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
    row->addWidget(slider_, 1);
    length_->setObjectName("length");
    row->addWidget(length_);
    auto* stop = symbolButton("xmark", 14, theme::muted());
    stop->setObjectName("stopPlayback");
    row->addWidget(stop);

    // Programmatic moves are made with signals blocked, so every value change
    // seen here is the user's, while dragging as well as at the end.
    connect(slider_, &QSlider::valueChanged, this,
            [this](int value) { workbench_.seek(static_cast<double>(value) / stepsPerSecond); });
    connect(stop, &QAbstractButton::clicked, this, [this] { workbench_.stopPlayback(); });
    refresh();
}

void PlaybackBar::refresh()
{
    const auto& playing = workbench_.playingURL();
    const QString name = playing ? QString::fromStdString(playing->filename().string()) : "已暂停";
    name_->setText(name_->fontMetrics().elidedText(name, Qt::ElideRight, name_->width()));
    position_->setText(QString::fromStdString(time(workbench_.playbackTime())));
    length_->setText(QString::fromStdString(time(workbench_.playbackDuration())));
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
