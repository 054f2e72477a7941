// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/settings_panel.hpp"

#include "engine/invocation.hpp"
#include "model/display_text.hpp"
#include "model/output_format.hpp"
#include "ui/theme.hpp"

#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>

#include <functional>
#include <tuple>

namespace tonfield::ui {
namespace {

// The card's title is display::modeTitle(mode).
struct ModePresentation {
    SeparationMode mode;
    const char* subtitle;
    const char* symbol;
    const char* family;
};

constexpr std::array<ModePresentation, 3> presentations{{
    {SeparationMode::vocal, "提取人声，制作纯音乐伴奏", "mic.fill", "MDX-Net"},
    {SeparationMode::four, "人声、鼓、贝斯、其他乐器", "waveform", "Demucs v4"},
    {SeparationMode::six, "进一步分离吉他与钢琴", "square.stack.3d.up.fill", "Demucs v4"},
}};

const ModePresentation& presentationOf(SeparationMode mode)
{
    for (const auto& presentation : presentations) {
        if (presentation.mode == mode)
            return presentation;
    }
    return presentations[0];
}

QLabel* smallLabel(const QString& text)
{
    return textLabel(text, theme::font(10), theme::muted());
}

} // namespace

struct SettingsPanel::ModeCard {
    BoxButton* button = new BoxButton({});
    QLabel* symbol;
    QLabel* mark;

    explicit ModeCard(const ModePresentation& presentation)
        : symbol(symbolLabel(presentation.symbol, 17, theme::muted()))
        , mark(symbolLabel("circle", 12, theme::muted()))
    {
        button->setObjectName(rawValue(presentation.mode).data());
        // One of three: a screen reader hears a radio button, checked or not.
        button->setCheckable(true);
        button->setAutoExclusive(true);
        auto* row = new QHBoxLayout(button);
        row->setContentsMargins(12, 12, 12, 12);
        row->setSpacing(11);
        symbol->setFixedWidth(29);
        row->addWidget(symbol);
        auto* lines = new QVBoxLayout;
        lines->setSpacing(3);
        lines->addWidget(textLabel(display::modeTitle(presentation.mode),
                                   theme::font(12, QFont::Medium), Qt::white));
        lines->addWidget(textLabel(presentation.subtitle, theme::font(8), theme::muted()));
        row->addLayout(lines);
        row->addStretch();
        row->addWidget(mark);
    }

    void setSelected(bool selected)
    {
        const QColor colour = selected ? theme::mint() : theme::muted();
        setLabelColour(*symbol, colour);
        setLabelColour(*mark, colour);
        setSymbol(*mark, selected ? "largecircle.fill.circle" : "circle");
        if (selected) // checking one unchecks the others
            button->setChecked(true);
        button->setStyle({
            .fill = selected ? theme::withAlpha(theme::mint(), 0.10) : theme::white(0.015),
            .border = selected ? theme::withAlpha(theme::mint(), 0.70) : theme::white(0.10),
            .radius = 6,
        });
    }
};

SettingsPanel::SettingsPanel(Workbench& workbench, QWidget* parent)
    : Panel(parent)
    , workbench_(workbench)
    , modelFile_(textLabel("", theme::font(10), Qt::white))
    , modelFamily_(textLabel("", theme::font(9), theme::muted()))
    , options_(new QWidget)
    , format_(new QComboBox)
    , quality_(new QComboBox)
    , start_(new BoxButton({.fill = theme::mint(), .radius = 6}))
    , stop_(new BoxButton({.fill = theme::white(0.04), .border = theme::white(0.15), .radius = 6}))
    , stopQueue_(
          new BoxButton({.fill = theme::white(0.04), .border = theme::white(0.15), .radius = 6}))
    , hint_(textLabel("", theme::font(8), Qt::white))
{
    setObjectName("settingsPanel");
    setFixedWidth(widthPx);
    addModeCards();
    addModelInfo();
    addPickers();
    addNote();
    addStartButton();
    addStopButtons();

    hint_->setObjectName("hint");
    content()->addWidget(hint_, 0, Qt::AlignHCenter);
    refresh();
}

SettingsPanel::~SettingsPanel() = default;

// The title and the three mode cards.
void SettingsPanel::addModeCards()
{
    content()->addWidget(panelTitle("02", "分轨设置", "CONFIGURE"));
    content()->addSpacing(4);
    content()->addWidget(smallLabel("分离模式"));
    for (std::size_t i = 0; i < presentations.size(); ++i) {
        cards_[i] = std::make_unique<ModeCard>(presentations[i]);
        const SeparationMode mode = presentations[i].mode;
        connect(cards_[i]->button, &QAbstractButton::clicked, this,
                [this, mode] { workbench_.setMode(mode); });
        content()->addWidget(cards_[i]->button);
    }
}

// The model file the chosen mode runs, and its family.
void SettingsPanel::addModelInfo()
{
    auto* model = new QVBoxLayout;
    model->setContentsMargins(0, 10, 0, 10);
    model->setSpacing(6);
    model->addWidget(smallLabel("分离模型"));
    auto* fileRow = new QHBoxLayout;
    fileRow->setSpacing(5);
    fileRow->addWidget(symbolLabel("cpu", 12, Qt::white));
    modelFile_->setObjectName("modelFile");
    fileRow->addWidget(modelFile_);
    fileRow->addStretch();
    model->addLayout(fileRow);
    modelFamily_->setObjectName("modelFamily");
    model->addWidget(modelFamily_);
    content()->addLayout(model);
}

// The format and quality pickers.
void SettingsPanel::addPickers()
{
    auto* optionsRow = new QHBoxLayout(options_);
    optionsRow->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char*, QComboBox*> pickers[] = {{"输出格式", format_},
                                                          {"处理质量", quality_}};
    for (auto [label, picker] : pickers) {
        auto* stack = new QVBoxLayout;
        stack->setSpacing(8);
        stack->addWidget(smallLabel(label));
        stack->addWidget(picker);
        optionsRow->addLayout(stack);
    }
    format_->setObjectName("format");
    addFocusRing(*format_);
    for (const OutputFormat format : allOutputFormats)
        format_->addItem(QString::fromLatin1(rawValue(format)));
    quality_->setObjectName("quality");
    addFocusRing(*quality_);
    quality_->addItems({"标准", "高质量"});
    content()->addWidget(options_);
    connect(format_, &QComboBox::textActivated, this,
            [this](const QString& text) { workbench_.setFormat(text.toStdString()); });
    connect(quality_, &QComboBox::activated, this,
            [this](int index) { workbench_.setHighQuality(index == 1); });
}

// What the stem count depends on.
void SettingsPanel::addNote()
{
    auto* note = textLabel("分轨数量由模型决定，不能还原原始制作工程的全部轨道。", theme::font(9),
                           theme::muted());
    note->setWordWrap(true);
    note->setContentsMargins(0, 9, 0, 9);
    content()->addWidget(note);
}

// The start button, dimmed while a job cannot start.
void SettingsPanel::addStartButton()
{
    start_->setObjectName("start");
    auto* startRow = new QHBoxLayout(start_);
    startRow->setContentsMargins(15, 12, 15, 12);
    startRow->addWidget(symbolLabel("sparkles", 14, theme::canvas()));
    startRow->addStretch();
    startRow->addWidget(textLabel("开始分轨", theme::font(12, QFont::DemiBold), theme::canvas()));
    startRow->addStretch();
    startRow->addWidget(symbolLabel("arrow.right", 14, theme::canvas()));
    start_->setGraphicsEffect(new QGraphicsOpacityEffect(start_));
    content()->addWidget(start_);
    connect(start_, &QAbstractButton::clicked, this, [this] { workbench_.start(); });
}

// The destructive bordered buttons: red label, full width. The second ends
// the whole queue; the first only the running job.
void SettingsPanel::addStopButtons()
{
    const std::tuple<BoxButton*, const char*, const char*, std::function<void()>> buttons[] = {
        {stop_, "stop", "取消分轨", [this] { workbench_.cancel(); }},
        {stopQueue_, "stopQueue", "停止队列", [this] { workbench_.jobQueue().stopQueue(); }},
    };
    for (const auto& [button, name, label, action] : buttons) {
        button->setObjectName(name);
        auto* row = new QHBoxLayout(button);
        row->setContentsMargins(12, 9, 12, 9);
        row->setSpacing(6);
        row->addStretch();
        row->addWidget(symbolLabel("stop.fill", 13, theme::destructive()));
        row->addWidget(textLabel(label, theme::font(12), theme::destructive()));
        row->addStretch();
        content()->addWidget(button);
        connect(button, &QAbstractButton::clicked, this, action);
    }
}

void SettingsPanel::refresh(const FieldSet& changed)
{
    if (!changed.any({Workbench::Field::busy, Workbench::Field::format,
                      Workbench::Field::highQuality, Workbench::Field::mode,
                      Workbench::Field::engineRoot, Workbench::Field::source,
                      Workbench::Field::queue}))
        return;
    const bool busy = workbench_.busy();
    for (std::size_t i = 0; i < cards_.size(); ++i) {
        const SeparationMode mode = presentations[i].mode;
        cards_[i]->setSelected(mode == workbench_.mode());
        const bool supported = workbench_.engineSupports(mode);
        cards_[i]->button->setEnabled(!busy && supported);
        // Why a card is disabled, for the pointer and for a screen reader.
        const QString why =
            supported
                ? QString()
                : QString("当前分轨引擎 %1 不能做%2")
                      .arg(QString::fromStdString(workbench_.engineDescription()->displayName),
                           display::modeTitle(mode));
        cards_[i]->button->setToolTip(why);
        cards_[i]->button->setAccessibleDescription(why);
    }
    const ModePresentation& current = presentationOf(workbench_.mode());
    // The same table the engine is invoked with.
    modelFile_->setText(QString::fromUtf8(engine::modelFor(current.mode)));
    modelFamily_->setText(QString(current.family) + " · 首次使用自动下载模型");

    options_->setEnabled(!busy);
    const QString format = QString::fromStdString(workbench_.format());
    if (format_->findText(format) < 0) // a stored job may carry a format not offered
        format_->addItem(format);
    format_->setCurrentText(format);
    quality_->setCurrentIndex(workbench_.highQuality() ? 1 : 0);

    const bool canStart = workbench_.source() && workbench_.ready();
    start_->setVisible(!busy);
    start_->setEnabled(canStart);
    static_cast<QGraphicsOpacityEffect*>(start_->graphicsEffect())
        ->setOpacity(canStart ? 1.0 : 0.4);
    stop_->setVisible(busy);
    stopQueue_->setVisible(busy && !workbench_.jobQueue().queue().empty());
    hint_->setText(workbench_.ready() ? "本地模型推理 · 支持 Linux 桌面"
                                      : "请先在左侧配置引擎文件夹");
}

} // namespace tonfield::ui
