// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets.hpp"

#include "ui/icons.hpp"
#include "ui/theme.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QChildEvent>
#include <QDrag>
#include <QEvent>
#include <QFocusEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QTextLayout>

#include <cmath>

namespace tonfield::ui {

void paintBox(QWidget& widget, const BoxStyle& style)
{
    QPainter painter(&widget);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(widget.rect());
    QPainterPath shape;
    shape.addRoundedRect(outer, style.radius, style.radius);
    painter.fillPath(shape, style.fill);
    if (style.border.alpha() == 0)
        return;
    QPen pen(style.border, 1);
    if (style.dashed)
        pen.setDashPattern({5, 4});
    painter.setPen(pen);
    // Inset by half the line width so the stroke stays inside the shape.
    const QRectF inner = outer.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(inner, style.radius - 0.5, style.radius - 0.5);
}

void paintFocusRing(QWidget& widget, qreal radius)
{
    QPainter painter(&widget);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(theme::mint(), 2));
    painter.drawRoundedRect(QRectF(widget.rect()).adjusted(1, 1, -1, -1), radius, radius);
}

namespace {

// Focus that came from the keyboard is shown; focus a click or the window's
// activation gave is not, so a mouse user sees no ring.
bool cameFromKeyboard(const QFocusEvent& event)
{
    return event.reason() == Qt::TabFocusReason || event.reason() == Qt::BacktabFocusReason ||
           event.reason() == Qt::ShortcutFocusReason;
}

// Drawn over a control the style draws itself (pickers, the timeline, the log
// toggle) while it has keyboard focus; clicks pass through it.
class FocusRingOverlay final : public QWidget {
public:
    explicit FocusRingOverlay(QWidget& target)
        : QWidget(&target)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setVisible(false);
        target.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* target = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::FocusIn:
            if (!cameFromKeyboard(*static_cast<QFocusEvent*>(event)))
                break;
            setGeometry(target->rect());
            raise();
            show();
            break;
        case QEvent::FocusOut:
            hide();
            break;
        case QEvent::Resize:
            setGeometry(target->rect());
            break;
        default:
            break;
        }
        return false;
    }
    void paintEvent(QPaintEvent*) override { paintFocusRing(*this, 4); }
};

} // namespace

void addFocusRing(QWidget& control)
{
    new FocusRingOverlay(control);
}

namespace {

// Starts the drag once the pointer has moved the platform's drag distance
// with the button held, as file managers do.
class FileDragSource final : public QObject {
public:
    FileDragSource(QWidget& widget, std::function<std::optional<std::filesystem::path>()> file)
        : QObject(&widget)
        , file_(std::move(file))
    {
        setObjectName("fileDragSource");
        widget.installEventFilter(this);
    }

    std::unique_ptr<QMimeData> data() const
    {
        const auto file = file_();
        if (!file)
            return nullptr;
        auto data = std::make_unique<QMimeData>();
        data->setUrls({QUrl::fromLocalFile(QString::fromStdString(file->string()))});
        return data;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() == Qt::LeftButton)
                pressedAt_ = press->position().toPoint();
        } else if (event->type() == QEvent::MouseMove && pressedAt_) {
            const auto* move = static_cast<QMouseEvent*>(event);
            if ((move->position().toPoint() - *pressedAt_).manhattanLength() >=
                QApplication::startDragDistance()) {
                pressedAt_.reset();
                if (auto offered = data()) {
                    auto* drag = new QDrag(widget);
                    drag->setMimeData(offered.release());
                    drag->exec(Qt::CopyAction);
                    return true;
                }
            }
        } else if (event->type() == QEvent::MouseButtonRelease) {
            pressedAt_.reset();
        }
        return false;
    }

private:
    std::function<std::optional<std::filesystem::path>()> file_;
    std::optional<QPoint> pressedAt_;
};

} // namespace

void offerFileDrag(QWidget& widget, std::function<std::optional<std::filesystem::path>()> file)
{
    new FileDragSource(widget, std::move(file));
}

std::unique_ptr<QMimeData> fileDragData(QWidget& widget)
{
    auto* source = widget.findChild<FileDragSource*>("fileDragSource", Qt::FindDirectChildrenOnly);
    return source ? source->data() : nullptr;
}

QList<QUrl> localFileUrls(const QMimeData* data)
{
    QList<QUrl> files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files << url;
    }
    return files;
}

QLabel* textLabel(const QString& text, const QFont& font, const QColor& colour)
{
    auto* label = new QLabel(text);
    label->setFont(font);
    setLabelColour(*label, colour);
    return label;
}

// Through the palette, in every state: a style sheet per label drew the same
// pixels, but made Qt parse and apply a sheet for each of the window's
// hundred-odd labels, a third of what its start cost on top of Qt's own.
void setLabelColour(QLabel& label, const QColor& colour)
{
    QPalette palette = label.palette();
    // The text's colour as labels have always been drawn: eight bits a
    // channel, and the opacity in whole 255ths, rounded down from its value
    // to three places (a colour made of fractions, or 0.7 made 179 rather
    // than 178, blends a shade apart).
    const double opacity = std::round(colour.alphaF() * 1000) / 1000;
    palette.setColor(QPalette::WindowText, QColor(colour.red(), colour.green(), colour.blue(),
                                                  static_cast<int>(opacity * 255)));
    label.setPalette(palette);
    // A label inside a button would otherwise take the button's role,
    // ButtonText, and be drawn in the button's colour.
    label.setForegroundRole(QPalette::WindowText);
}

namespace {

// A symbol is a glyph from the icon font's private-use area: read out, it is
// a meaningless character. Screen readers get an unnamed graphic instead;
// the control it sits in carries the words.
QAccessibleInterface* symbolAccessible(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (className != "QLabel" || !widget || !widget->property("symbol").isValid())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Graphic);
}

} // namespace

QLabel* symbolLabel(const char* symbol, int pixelSize, const QColor& colour)
{
    static const bool symbolsDescribed = (QAccessible::installFactory(symbolAccessible), true);
    Q_UNUSED(symbolsDescribed);
    // Marked before it has text: a screen reader may ask about it at once.
    auto* label = new QLabel;
    label->setProperty("symbol", symbol);
    label->setFont(icons::font(pixelSize));
    setLabelColour(*label, colour);
    label->setAlignment(Qt::AlignCenter);
    label->setText(icons::glyph(symbol));
    return label;
}

void setSymbol(QLabel& label, const char* symbol)
{
    label.setText(icons::glyph(symbol));
    label.setProperty("symbol", symbol);
}

ElidedLabel::ElidedLabel(int maxLines, const QFont& font, const QColor& colour, QWidget* parent)
    : QWidget(parent)
    , maxLines_(maxLines)
    , colour_(colour)
{
    setFont(font);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void ElidedLabel::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    setAccessibleName(text); // the whole text, however it is cut on screen
    updateGeometry();
    update();
}

QStringList ElidedLabel::displayedLines() const
{
    QStringList lines;
    const int width = std::max(1, this->width());
    QTextLayout layout(text_, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines_ - 1) {
            // The last line allowed takes the rest, shortened to fit.
            const QString rest = text_.mid(line.textStart());
            lines << fontMetrics().elidedText(rest, Qt::ElideRight, width);
            break;
        }
        lines << text_.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    return lines;
}

QSize ElidedLabel::sizeHint() const
{
    const int lines = std::max<qsizetype>(1, displayedLines().size());
    return {fontMetrics().horizontalAdvance(text_), lines * fontMetrics().lineSpacing()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent*)
{
    updateGeometry();
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(colour_);
    int y = fontMetrics().ascent();
    for (const QString& line : displayedLines()) {
        painter.drawText(0, y, line);
        y += fontMetrics().lineSpacing();
    }
}

void deleteChildWidgets(QWidget& container)
{
    // The layout's own items go too: a stretch left behind would push the
    // next rows aside.
    if (QLayout* layout = container.layout())
        while (QLayoutItem* item = layout->takeAt(0))
            delete item;
    for (QWidget* child : container.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        delete child;
}

void tabThrough(const QList<QWidget*>& inScreenOrder)
{
    for (qsizetype i = 1; i < inScreenOrder.size(); ++i)
        QWidget::setTabOrder(inScreenOrder[i - 1], inScreenOrder[i]);
}

RoundedBox::RoundedBox(BoxStyle style, QWidget* parent)
    : QWidget(parent)
    , style_(std::move(style))
{
}

void RoundedBox::paintEvent(QPaintEvent*)
{
    paintBox(*this, style_);
}

BoxButton::BoxButton(BoxStyle style, QWidget* parent)
    : QAbstractButton(parent)
    , style_(std::move(style))
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    // A row may be narrower than its content's natural width: its elided
    // labels are what gives way.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void BoxButton::setStyle(const BoxStyle& style)
{
    style_ = style;
    update();
}

QSize BoxButton::sizeHint() const
{
    return layout() ? layout()->sizeHint() : QAbstractButton::sizeHint();
}

QSize BoxButton::minimumSizeHint() const
{
    return layout() ? layout()->minimumSize() : QAbstractButton::minimumSizeHint();
}

void BoxButton::paintEvent(QPaintEvent*)
{
    paintBox(*this, style_);
    if (hasFocus() && focusShown_)
        paintFocusRing(*this, style_.radius);
}

// A disabled button is drawn at 40 %, children and all, unless it manages its
// own look with an effect of its own (the start button).
void BoxButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        const bool dimmedByUs = graphicsEffect() && graphicsEffect()->property("dims").toBool();
        if (!isEnabled() && !graphicsEffect()) {
            auto* dim = new QGraphicsOpacityEffect(this);
            dim->setOpacity(0.4);
            dim->setProperty("dims", true);
            setGraphicsEffect(dim);
        } else if (isEnabled() && dimmedByUs) {
            setGraphicsEffect(nullptr);
        }
    }
    QAbstractButton::changeEvent(event);
}

void BoxButton::focusInEvent(QFocusEvent* event)
{
    focusShown_ = cameFromKeyboard(*event);
    update();
    QAbstractButton::focusInEvent(event);
}

void BoxButton::focusOutEvent(QFocusEvent* event)
{
    update();
    QAbstractButton::focusOutEvent(event);
}

// Children only show; the clicks are the button's.
void BoxButton::childEvent(QChildEvent* event)
{
    if (event->added() && event->child()->isWidgetType())
        static_cast<QWidget*>(event->child())->setAttribute(Qt::WA_TransparentForMouseEvents);
    QAbstractButton::childEvent(event);
}

// A screen reader reads a button by its text, which this button never draws:
// unless a caller names it, its name is the words it shows (symbols, which
// are private-use characters, left out).
void BoxButton::nameAfterContent()
{
    if (!text().isEmpty())
        return;
    QStringList words;
    for (const QWidget* child : findChildren<QWidget*>()) {
        if (const auto* label = qobject_cast<const QLabel*>(child);
            label && !label->property("symbol").isValid())
            words << label->text();
        else if (const auto* elided = dynamic_cast<const ElidedLabel*>(child))
            words << elided->text();
    }
    words.removeAll(QString());
    setAccessibleName(words.join(' '));
}

bool BoxButton::event(QEvent* event)
{
    if (event->type() == QEvent::Polish || event->type() == QEvent::LayoutRequest)
        nameAfterContent();
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
        // Space presses a focused button before the play/pause shortcut sees it.
        event->accept();
        return true;
    }
    return QAbstractButton::event(event);
}

BoxButton* symbolButton(const char* symbol, int pixelSize, const QColor& colour)
{
    auto* button = new BoxButton({});
    auto* row = new QHBoxLayout(button);
    row->setContentsMargins(2, 2, 2, 2);
    row->addWidget(symbolLabel(symbol, pixelSize, colour));
    return button;
}

BoxButton* textButton(const char* name, const QString& text, const QFont& font,
                      const QColor& colour)
{
    auto* button = new BoxButton({});
    button->setObjectName(name);
    auto* row = new QHBoxLayout(button);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(textLabel(text, font, colour));
    return button;
}

} // namespace tonfield::ui
