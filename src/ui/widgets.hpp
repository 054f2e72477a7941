#pragma once

// Small building blocks shared by the panels: styled labels, symbols, and
// rounded boxes (plain or clickable) that paint their own fill and border.

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

namespace tonfield::ui {

struct BoxStyle {
    QColor fill = Qt::transparent;
    QColor border = Qt::transparent; // 1 px, drawn inside the shape
    qreal radius = 6;
    bool dashed = false; // 5 px drawn, 4 px gap
};

void paintBox(QWidget& widget, const BoxStyle& style);

QLabel* textLabel(const QString& text, const QFont& font, const QColor& colour);
// A symbol's label keeps its identifier in the "symbol" property.
QLabel* symbolLabel(const char* symbol, int pixelSize, const QColor& colour);
void setSymbol(QLabel& label, const char* symbol);
void setLabelColour(QLabel& label, const QColor& colour);

// Removes a list's rows before it is built anew.
void deleteChildWidgets(QWidget& container);

// A container that paints a rounded box behind its children.
class RoundedBox : public QWidget {
public:
    explicit RoundedBox(BoxStyle style, QWidget* parent = nullptr);
    void setStyle(const BoxStyle& style);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    BoxStyle style_;
};

// A plain button whose whole rectangle is clickable, drawn as a rounded box
// holding whatever children its layout is given.
class BoxButton : public QAbstractButton {
public:
    explicit BoxButton(BoxStyle style, QWidget* parent = nullptr);
    void setStyle(const BoxStyle& style);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    BoxStyle style_;
};

// A borderless button showing one symbol.
BoxButton* symbolButton(const char* symbol, int pixelSize, const QColor& colour);

} // namespace tonfield::ui
