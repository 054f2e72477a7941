// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

// The window's symbols, named by their identifiers ("waveform",
// "play.circle.fill"), drawn with the Material Icons font built into the
// application.
namespace tonfield::ui::icons {

// The glyph for a symbol identifier; an empty string for an unknown one.
QString glyph(const char* symbol);

// The icon font at a pixel size. Loads the embedded font on first use.
QFont font(int pixelSize);

// Every identifier the window uses, for checking that each has a glyph.
QStringList allSymbols();

} // namespace tonfield::ui::icons
