// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/spinner.hpp"

#include "ui/theme.hpp"

#include <QPainter>

namespace tonfield::ui {

Spinner::Spinner(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(16, 16);
}

void Spinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(theme::mint(), 2, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.drawArc(QRectF(rect()).adjusted(2, 2, -2, -2), -angle_ * 16, 270 * 16);
}

void Spinner::showEvent(QShowEvent*)
{
    if (!timer_)
        timer_ = startTimer(50);
}

void Spinner::hideEvent(QHideEvent*)
{
    if (timer_)
        killTimer(timer_);
    timer_ = 0;
}

void Spinner::timerEvent(QTimerEvent*)
{
    angle_ = (angle_ + 30) % 360;
    update();
}

} // namespace tonfield::ui
