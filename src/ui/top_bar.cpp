// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/top_bar.hpp"

#include "ui/theme.hpp"
#include "ui/widgets.hpp"

#include <QHBoxLayout>
#include <QPainter>

namespace tonfield::ui {
namespace {

class Dot final : public QWidget {
public:
    explicit Dot(const QColor& colour)
        : colour_(colour)
    {
        setFixedSize(5, 5);
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour_);
        painter.drawEllipse(rect());
    }

private:
    const QColor& colour_;
};

} // namespace

TopBar::TopBar(const Workbench& workbench, QWidget* parent)
    : QWidget(parent)
    , workbench_(workbench)
    , page_(textLabel("", theme::font(11), Qt::white))
    , dot_(new Dot(dotColour_))
    , engineStatus_(textLabel("", theme::font(11), theme::muted()))
    , engineName_(textLabel("", theme::font(11), theme::grey()))
{
    setObjectName("topBar");
    setFixedHeight(heightPx);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(32, 0, 32, 0);
    row->setSpacing(0);
    row->addWidget(textLabel("工作空间", theme::font(11), theme::muted()));
    auto* slash = textLabel("/", theme::font(11), theme::grey());
    slash->setContentsMargins(10, 0, 10, 0);
    row->addWidget(slash);
    row->addWidget(page_);
    row->addStretch();
    row->addWidget(dot_);
    row->addSpacing(8);
    row->addWidget(engineStatus_);
    row->addWidget(engineName_);
    page_->setObjectName("page");
    engineStatus_->setObjectName("engineStatus");
    engineName_->setObjectName("engineName");
    refresh();
}

void TopBar::refresh(const FieldSet& changed)
{
    if (!changed.any({Workbench::Field::engineRoot, Workbench::Field::showHistory,
                      Workbench::Field::preparingEngine}))
        return;
    page_->setText(workbench_.showHistory() ? "处理记录" : "音乐分轨");
    const bool ready = workbench_.ready();
    dotColour_ = ready ? theme::mint() : theme::orange();
    dot_->update();
    engineStatus_->setText(ready                          ? "本地分轨引擎就绪"
                           : workbench_.preparingEngine() ? "正在准备本地分轨引擎…"
                                                          : "请选择分轨引擎文件夹");
    // Which engine is ready, where its folder says.
    const auto& description = workbench_.engineDescription();
    engineName_->setVisible(ready && description);
    if (description)
        engineName_->setText(" · " + QString::fromStdString(description->displayName));
}

void TopBar::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), theme::withAlpha(theme::surface(), 0.35));
}

} // namespace tonfield::ui
