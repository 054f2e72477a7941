// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/settings_window.hpp"

#include "app/engine_section.hpp"
#include "ui/theme.hpp"
#include "ui/workbench_bridge.hpp"

#include "interop/qt_paths.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

namespace tonfield::app {

SettingsWindow::SettingsWindow(ui::WorkbenchBridge& bridge, adapters::PackageInstaller& installer,
                               QWidget* parent)
    : QWidget(parent, Qt::Window)
    , workbench_(bridge.workbench())
    , engineFolder_(new QLabel)
    , engines_(new EngineSection(workbench_, installer))
    , scroll_(new QScrollArea)
{
    setObjectName("settingsWindow");
    setWindowTitle("设置");
    setFixedWidth(widthPx);
    // The content scrolls only when a screen is too short for it all (the
    // engine cards make it tall); otherwise the window fits it exactly.
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    scroll_->setObjectName("settingsScroll");
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frame->addWidget(scroll_);
    auto* content = new QWidget;
    scroll_->setWidget(content);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(18);

    auto* heading = new QLabel("本地分轨引擎");
    heading->setFont(ui::theme::font(22));
    column->addWidget(heading);
    auto* description = new QLabel("Qt 提供原生界面，Python 引擎运行 UVR 兼容模型。");
    description->setEnabled(false); // the secondary, dimmed colour
    column->addWidget(description);
    engineFolder_->setObjectName("engineFolder");
    engineFolder_->setFont(ui::theme::monospaceFont(10));
    engineFolder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    engineFolder_->setWordWrap(true);
    column->addWidget(engineFolder_);
    auto* choose = new QPushButton("选择项目文件夹…");
    choose->setObjectName("chooseEngine");
    column->addWidget(choose, 0, Qt::AlignLeft);
    auto* note = new QLabel("文件夹需包含 separate_job.py 和已安装依赖的 .venv。模型保存在 "
                            "data/models，结果保存在 data/jobs。");
    note->setFont(ui::theme::font(10));
    note->setWordWrap(true);
    note->setEnabled(false);
    column->addWidget(note);
    column->addWidget(engines_);

    connect(choose, &QPushButton::clicked, this, [this] { workbench_.chooseEngine(); });
    // Closed as a desktop's settings windows close: Escape, or Ctrl+W.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
    connect(&bridge, &ui::WorkbenchBridge::changed, this, &SettingsWindow::refresh);
    refresh();
}

void SettingsWindow::refresh(const ui::FieldSet& changed)
{
    engines_->refresh(changed);
    if (!changed.any({Workbench::Field::engineRoot, Workbench::Field::engines}))
        return;
    const auto& root = workbench_.engineRoot();
    engineFolder_->setText(root ? toQString(*root) : QString("尚未配置"));
    // The width is fixed; the height follows the wrapped text at that width,
    // up to what the screen has room for.
    QLayout& column = *scroll_->widget()->layout();
    const int wanted = column.totalHeightForWidth(widthPx);
    const int height = wanted > 0 ? wanted : column.totalSizeHint().height();
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    const int room = shown ? shown->availableGeometry().height() - screenMarginPx : height;
    setFixedHeight(std::min(height, room));
    placeOnScreen();
}

void SettingsWindow::placeOnScreen()
{
    // Asked for, not left to the window manager: a window as tall as the
    // screen allows, placed where the manager puts new windows (Openbox: by
    // the pointer), would reach past the screen's bottom. Centred at first,
    // then moved only as far as a change of height needs.
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shown)
        return;
    const QRect room = shown->availableGeometry().adjusted(0, 0, 0, -screenMarginPx);
    QPoint at = testAttribute(Qt::WA_Moved) ? pos()
                                            : QPoint(room.left() + (room.width() - width()) / 2,
                                                     room.top() + (room.height() - height()) / 2);
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - height())));
    move(at);
}

} // namespace tonfield::app
