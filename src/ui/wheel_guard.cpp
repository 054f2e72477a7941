// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/wheel_guard.hpp"

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QScrollBar>
#include <QWidget>

namespace tonfield::ui {
namespace {

// Scroll bars are left alone: scrolling is what the wheel is for.
bool changesWithTheWheel(QObject* object)
{
    return (qobject_cast<QAbstractSlider*>(object) && !qobject_cast<QScrollBar*>(object)) ||
           qobject_cast<QComboBox*>(object) || qobject_cast<QAbstractSpinBox*>(object);
}

} // namespace

bool WheelGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Polish && event->type() != QEvent::Wheel)
        return false;
    if (!changesWithTheWheel(watched))
        return false;
    auto* control = static_cast<QWidget*>(watched);
    if (event->type() == QEvent::Polish) {
        // A wheel would otherwise give the control the focus first, and then
        // change it.
        if (control->focusPolicy() == Qt::WheelFocus)
            control->setFocusPolicy(Qt::StrongFocus);
        return false;
    }
    if (control->hasFocus())
        return false;
    // Handed to the page the control sits on, which scrolls; outside any
    // page it is left unaccepted, for Qt to offer to the control's parents.
    for (QWidget* above = control->parentWidget(); above; above = above->parentWidget()) {
        if (auto* page = qobject_cast<QAbstractScrollArea*>(above)) {
            QCoreApplication::sendEvent(page->viewport(), event);
            return true;
        }
    }
    event->ignore();
    return true;
}

} // namespace tonfield::ui
