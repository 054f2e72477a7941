// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QCoreApplication>
#include <QObject>

namespace tonfield::ui {

// The mouse wheel scrolls the page it is over; it changes a slider, a picker
// or a number field only when that control has the keyboard focus (clicked,
// dragged or tabbed to). Without this, scrolling down the window turns every
// level, the pitch and the format it passes over, and keeps the change.
// Installed on the application, it sees every widget. Main thread.
class WheelGuard final : public QObject {
public:
    // Watches every widget of the application from now on: made before the
    // widgets, it also sees them polished.
    explicit WheelGuard(QCoreApplication& application) { application.installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace tonfield::ui
