// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/theme.hpp"

#include <QFontDatabase>

namespace tonfield::ui::theme {

const QColor& canvas()
{
    static const QColor colour = QColor::fromRgbF(0.06f, 0.071f, 0.08f);
    return colour;
}

const QColor& surface()
{
    static const QColor colour = QColor::fromRgbF(0.098f, 0.112f, 0.125f);
    return colour;
}

const QColor& mint()
{
    static const QColor colour = QColor::fromRgbF(0.67f, 0.92f, 0.78f);
    return colour;
}

const QColor& muted()
{
    static const QColor colour = QColor::fromRgbF(0.48f, 0.55f, 0.57f);
    return colour;
}

QColor withAlpha(const QColor& colour, double opacity)
{
    QColor result = colour;
    result.setAlphaF(static_cast<float>(colour.alphaF() * opacity));
    return result;
}

QColor white(double opacity)
{
    return withAlpha(Qt::white, opacity);
}
QColor orange()
{
    return QColor(255, 159, 10);
}
QColor grey()
{
    return QColor(142, 142, 147);
}
QColor destructive()
{
    return QColor(255, 69, 58);
}

QString css(const QColor& colour)
{
    return QString("rgba(%1, %2, %3, %4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alphaF(), 0, 'f', 3);
}

QFont font(int pixelSize, QFont::Weight weight, double trackingPx)
{
    QFont result;
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    if (trackingPx != 0)
        result.setLetterSpacing(QFont::AbsoluteSpacing, trackingPx);
    return result;
}

QFont monospaceFont(int pixelSize)
{
    QFont result = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Chinese comes from the regular-weight monospaced CJK face, named here
    // rather than left to whatever face the desktop's fallback picks first.
    result.setFamilies({result.family(), "Noto Sans Mono CJK SC"});
    result.setWeight(QFont::Normal);
    result.setPixelSize(pixelSize);
    return result;
}

} // namespace tonfield::ui::theme
