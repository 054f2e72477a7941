// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Small building blocks shared by the panels: styled labels, symbols, and
// rounded boxes (plain or clickable) that paint their own fill and border.

#include <QAbstractButton>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace tonfield::ui {

struct BoxStyle {
    QColor fill = Qt::transparent;
    QColor border = Qt::transparent; // 1 px, drawn inside the shape
    qreal radius = 6;
    bool dashed = false; // 5 px drawn, 4 px gap
};

void paintBox(QWidget& widget, const BoxStyle& style);
// Keyboard focus: a 2 px mint ring inside the widget's rounded shape.
void paintFocusRing(QWidget& widget, qreal radius);
// The same ring over a control the style draws (a picker, a slider), shown
// while it has focus.
void addFocusRing(QWidget& control);

QLabel* textLabel(const QString& text, const QFont& font, const QColor& colour);
// A symbol's label keeps its identifier in the "symbol" property.
QLabel* symbolLabel(const char* symbol, int pixelSize, const QColor& colour);
void setSymbol(QLabel& label, const char* symbol);
void setLabelColour(QLabel& label, const QColor& colour);

// Text that wraps (anywhere, if a word is too long) to at most maxLines lines
// and ends in "…" when it does not fit.
class ElidedLabel : public QWidget {
public:
    ElidedLabel(int maxLines, const QFont& font, const QColor& colour, QWidget* parent = nullptr);
    void setText(const QString& text);
    const QString& text() const { return text_; }
    // The lines as drawn at the current width.
    QStringList displayedLines() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int maxLines_;
    QColor colour_;
    QString text_;
};

// The local files among what is dragged, in order.
QList<QUrl> localFileUrls(const QMimeData* data);

// Makes a widget a source of a standard file drag: dragged onto a file
// manager or an audio workstation, it hands over the file `file` names (none
// when it gives nothing).
void offerFileDrag(QWidget& widget, std::function<std::optional<std::filesystem::path>()> file);
// What the widget offers when dragged, or null when it offers nothing.
std::unique_ptr<QMimeData> fileDragData(QWidget& widget);

// Removes a list's rows, and whatever else its layout holds, before it is
// built anew.
void deleteChildWidgets(QWidget& container);

// Puts the widgets into the Tab order one after another, as they appear on
// screen. Rows built after the controls under them would otherwise be
// reached last.
void tabThrough(const QList<QWidget*>& inScreenOrder);

// A container that paints a rounded box behind its children.
class RoundedBox : public QWidget {
public:
    explicit RoundedBox(BoxStyle style, QWidget* parent = nullptr);

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
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    void nameAfterContent();

    BoxStyle style_;
    bool focusShown_ = false; // focus came from the keyboard
};

// A borderless button showing one symbol.
BoxButton* symbolButton(const char* symbol, int pixelSize, const QColor& colour);
// A borderless button showing a text, a link in the page's words.
BoxButton* textButton(const char* name, const QString& text, const QFont& font,
                      const QColor& colour);

} // namespace tonfield::ui
