// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QColor>
#include <QFont>
#include <QString>

// The window's one visual language: four colours, created once and shared,
// and fonts at explicit pixel sizes so proportions hold at any scale factor.
namespace tonfield::ui::theme {

const QColor& canvas();  // window background; text on mint fills
const QColor& surface(); // panel fill
const QColor& mint();    // accent
const QColor& muted();   // secondary text

QColor withAlpha(const QColor& colour, double opacity);
QColor white(double opacity);
// The platform's orange for "engine not ready", and its separator grey.
QColor orange();
QColor destructive(); // the platform's red for destructive actions
QColor grey();

// "rgba(...)" for style sheets.
QString css(const QColor& colour);

QFont font(int pixelSize, QFont::Weight weight = QFont::Normal, double trackingPx = 0);
QFont monospaceFont(int pixelSize);

} // namespace tonfield::ui::theme
