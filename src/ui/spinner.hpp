// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

namespace tonfield::ui {

// A small indeterminate progress indicator: an arc turning while visible.
class Spinner final : public QWidget {
public:
    explicit Spinner(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int angle_ = 0;
    int timer_ = 0;
};

} // namespace tonfield::ui
