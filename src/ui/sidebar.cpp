// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/sidebar.hpp"

#include "ui/theme.hpp"
#include "ui/widgets.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace tonfield::ui {

// A full-width navigation entry whose colours follow whether it is active.
struct Sidebar::NavButton {
    BoxButton* button;
    QLabel* symbol;
    QLabel* title;

    NavButton(const char* symbolName, const QString& text)
        : button(new BoxButton({}))
        , symbol(symbolLabel(symbolName, 14, theme::muted()))
        , title(textLabel(text, theme::font(12), theme::muted()))
    {
        button->setObjectName(text);
        auto* row = new QHBoxLayout(button);
        row->setContentsMargins(12, 12, 12, 12);
        row->setSpacing(8);
        row->addWidget(symbol);
        row->addWidget(title);
        row->addStretch();
    }

    void setActive(bool active)
    {
        const QColor colour = active ? theme::mint() : theme::muted();
        setLabelColour(*symbol, colour);
        setLabelColour(*title, colour);
        button->setStyle({.fill = active ? theme::withAlpha(theme::mint(), 0.10) : Qt::transparent,
                          .radius = 6});
    }
};

namespace {

QLabel* sectionLabel(const QString& text)
{
    return textLabel(text, theme::font(10), theme::muted());
}

QWidget* engineLabel(const QString& title, const QString& subtitle, const char* symbol)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto* tile = new RoundedBox({.fill = theme::withAlpha(theme::mint(), 0.07), .radius = 6});
    tile->setFixedSize(29, 29);
    auto* tileLayout = new QHBoxLayout(tile);
    tileLayout->setContentsMargins(0, 0, 0, 0);
    tileLayout->addWidget(symbolLabel(symbol, 14, theme::withAlpha(theme::mint(), 0.7)));
    layout->addWidget(tile);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(5);
    lines->addWidget(textLabel(title, theme::font(11), Qt::white));
    lines->addWidget(textLabel(subtitle, theme::font(9), theme::muted()));
    layout->addLayout(lines);
    layout->addStretch();
    return row;
}

QWidget* brandRow()
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto* tile = new RoundedBox({.fill = theme::mint(), .radius = 9});
    tile->setFixedSize(36, 36);
    auto* tileLayout = new QHBoxLayout(tile);
    tileLayout->setContentsMargins(0, 0, 0, 0);
    tileLayout->addWidget(symbolLabel("waveform", 22, theme::canvas()));
    layout->addWidget(tile);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(4);
    lines->addWidget(textLabel("TONFIELD", theme::font(15, QFont::DemiBold), Qt::white));
    lines->addWidget(
        textLabel("NATIVE AUDIO WORKSPACE", theme::font(6, QFont::Normal, 1.2), theme::muted()));
    layout->addLayout(lines);
    layout->addStretch();
    return row;
}

// A symbol beside a text, as one row.
QHBoxLayout* symbolAndText(const char* symbol, const QString& text, int pixelSize)
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(symbolLabel(symbol, pixelSize + 2, theme::muted()));
    row->addWidget(textLabel(text, theme::font(pixelSize), theme::muted()));
    row->addStretch();
    return row;
}

} // namespace

Sidebar::Sidebar(Workbench& workbench, std::function<void(const QUrl&)> openUrl, QWidget* parent)
    : QWidget(parent)
    , workbench_(workbench)
    , workspaceButton_(std::make_unique<NavButton>("square.split.2x2", "音乐分轨"))
    , historyButton_(std::make_unique<NavButton>("clock.arrow.circlepath", "处理记录"))
    , historyCount_(textLabel("0", theme::font(11), theme::muted()))
    , engineSettings_(new BoxButton({}))
{
    setObjectName("sidebar");
    setFixedWidth(widthPx);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(19, 30, 19, 30);
    column->setSpacing(0);

    column->addWidget(brandRow());
    column->addSpacing(48);
    column->addWidget(sectionLabel("工作空间"));
    column->addSpacing(16);
    column->addWidget(workspaceButton_->button);
    column->addSpacing(5);
    historyCount_->setObjectName("historyCount");
    historyButton_->button->layout()->addWidget(historyCount_);
    column->addWidget(historyButton_->button);
    column->addSpacing(5 + 40);
    column->addWidget(sectionLabel("分离引擎"));
    column->addSpacing(21);
    column->addWidget(engineLabel("人声与伴奏分离", "MDX-Net", "mic"));
    column->addSpacing(24);
    column->addWidget(engineLabel("多乐器音源分离", "Demucs v4", "waveform.path"));
    column->addSpacing(24);
    column->addStretch();

    engineSettings_->setObjectName("engineSettings");
    engineSettings_->setLayout(symbolAndText("gearshape", "引擎设置", 11));
    column->addWidget(engineSettings_);
    column->addSpacing(22);
    column->addLayout(symbolAndText("desktopcomputer", "Qt 原生桌面 App", 9));
    column->addSpacing(12);
    auto* link = new BoxButton({});
    link->setObjectName("modelCollectionLink");
    auto* linkRow = new QHBoxLayout(link);
    linkRow->setContentsMargins(0, 0, 0, 0);
    linkRow->addWidget(textLabel("Ultimate Vocal Remover ↗", theme::font(9), theme::muted()));
    linkRow->addStretch();
    column->addWidget(link);

    QObject::connect(workspaceButton_->button, &QAbstractButton::clicked, this,
                     [this] { workbench_.setShowHistory(false); });
    QObject::connect(historyButton_->button, &QAbstractButton::clicked, this, [this] {
        workbench_.loadHistory(); // the list is re-read every time the history opens
        workbench_.setShowHistory(true);
    });
    QObject::connect(engineSettings_, &QAbstractButton::clicked, this,
                     [this] { workbench_.chooseEngine(); });
    QObject::connect(link, &QAbstractButton::clicked, this,
                     [openUrl] { openUrl(QUrl(modelCollectionUrl)); });
    refresh();
}

Sidebar::~Sidebar() = default;

void Sidebar::refresh(const FieldSet& changed)
{
    if (!changed.any(
            {Workbench::Field::busy, Workbench::Field::jobs, Workbench::Field::showHistory}))
        return;
    workspaceButton_->setActive(!workbench_.showHistory());
    historyButton_->setActive(workbench_.showHistory());
    historyCount_->setText(QString::number(workbench_.jobs().size()));
    setLabelColour(*historyCount_, workbench_.showHistory() ? theme::mint() : theme::muted());
    engineSettings_->setEnabled(!workbench_.busy());
}

void Sidebar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), theme::withAlpha(theme::surface(), 0.55));
    painter.fillRect(QRect(width() - 1, 0, 1, height()), theme::white(0.06));
}

} // namespace tonfield::ui
