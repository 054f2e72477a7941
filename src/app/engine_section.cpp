// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/engine_section.hpp"

#include "model/display_text.hpp"
#include "ui/theme.hpp"

#include "adapters/desktop/package_installer.hpp"
#include "interop/qt_paths.hpp"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace tonfield::app {
namespace {
using State = EngineEntry::State;

QLabel* secondary(const QString& text)
{
    auto* label = new QLabel(text);
    label->setFont(ui::theme::font(10));
    label->setWordWrap(true);
    label->setEnabled(false); // the secondary, dimmed colour
    return label;
}

QString modesText(const std::vector<SeparationMode>& modes)
{
    QStringList titles;
    for (SeparationMode mode : modes)
        titles << display::modeTitle(mode);
    return "可做：" + titles.join("、");
}

QString stateText(const EngineEntry& entry)
{
    switch (entry.state) {
    case State::ready:
        return "已就绪";
    case State::needsPackages: {
        QStringList packages;
        for (const std::string& package : entry.missingPackages)
            packages << QString::fromStdString(package);
        return "需要先安装软件包：" + packages.join("、");
    }
    case State::notSetUp:
        return "尚未安装";
    case State::settingUp:
        return "正在安装…" + (entry.detail.empty()
                                  ? QString()
                                  : "（" + QString::fromStdString(entry.detail) + "）");
    case State::failed:
        return "安装失败：" + QString::fromStdString(entry.detail);
    }
    return {};
}

QString usageText(const EngineEntry& entry)
{
    if (!entry.diskBytes || !entry.jobCount)
        return "正在计算占用空间…";
    return QString("占用 %1 · %2 个任务")
        .arg(QString::fromStdString(display::bytes(*entry.diskBytes)))
        .arg(*entry.jobCount);
}

QPushButton* button(const QString& text, const QString& name)
{
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    return button;
}

} // namespace

EngineSection::EngineSection(Workbench& workbench, adapters::PackageInstaller& installer,
                             QWidget* parent)
    : QWidget(parent)
    , workbench_(workbench)
    , installer_(installer)
    , cards_(new QVBoxLayout)
{
    setObjectName("engineSection");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    auto* heading = new QLabel("分轨引擎");
    heading->setFont(ui::theme::font(17));
    column->addWidget(heading);
    column->addWidget(
        secondary("每个引擎有自己的文件夹和任务记录：换用引擎后，历史记录显示该引擎的任务。"));
    cards_->setSpacing(12);
    column->addLayout(cards_);
}

void EngineSection::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    workbench_.engineManager().refresh(); // what changed on disk while hidden
}

void EngineSection::refresh(const ui::FieldSet& changed)
{
    if (!changed.any({Workbench::Field::engines, Workbench::Field::busy}))
        return;
    const auto& engines = workbench_.engineManager().engines();
    if (engines == shown_ && workbench_.busy() == shownBusy_)
        return;
    shown_ = engines;
    shownBusy_ = workbench_.busy();
    while (QLayoutItem* item = cards_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const EngineEntry& entry : engines) {
        QWidget* made = card(entry);
        cards_->addWidget(made);
        made->show(); // now, not a turn later as a layout would
    }
}

QWidget* EngineSection::card(const EngineEntry& entry)
{
    auto* card = new QFrame;
    card->setObjectName("engineCard_" + QString::fromStdString(entry.name));
    card->setFrameShape(QFrame::StyledPanel);
    auto* lines = new QVBoxLayout(card);
    lines->setContentsMargins(14, 12, 14, 12);
    lines->setSpacing(5);

    QString title = QString::fromStdString(entry.description.displayName);
    if (entry.inUse)
        title += "（正在使用）";
    auto* name = new QLabel(title);
    name->setObjectName("engineName");
    name->setFont(ui::theme::font(13, QFont::Medium));
    lines->addWidget(name);
    if (!entry.description.note.empty())
        lines->addWidget(secondary(QString::fromStdString(entry.description.note)));
    lines->addWidget(secondary(modesText(entry.description.modes)));
    auto* folder = new QLabel(toQString(entry.folder));
    folder->setFont(ui::theme::monospaceFont(9));
    folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folder->setWordWrap(true);
    folder->setEnabled(false);
    lines->addWidget(folder);
    auto* state = new QLabel(stateText(entry));
    state->setObjectName("engineState");
    state->setWordWrap(true);
    state->setFont(ui::theme::font(10));
    lines->addWidget(state);
    if (entry.state != State::needsPackages && entry.state != State::notSetUp)
        lines->addWidget(secondary(usageText(entry)));
    if (entry.state == State::needsPackages)
        lines->addWidget(packageRow(entry));

    auto* actions = new QHBoxLayout;
    actions->setSpacing(8);
    EngineManager& manager = workbench_.engineManager();
    const std::string id = entry.name;
    if (entry.state == State::notSetUp || entry.state == State::failed) {
        auto* install = button(entry.state == State::failed ? "重新安装" : "安装", "install");
        connect(install, &QPushButton::clicked, this, [&manager, id] { manager.setUp(id); });
        actions->addWidget(install);
    }
    if (entry.state == State::settingUp) {
        auto* cancel = button("取消安装", "cancelInstall");
        connect(cancel, &QPushButton::clicked, this, [&manager, id] { manager.cancelSetUp(id); });
        actions->addWidget(cancel);
    }
    if (entry.state == State::ready && !entry.inUse) {
        auto* use = button("使用", "use");
        use->setEnabled(!workbench_.busy());
        connect(use, &QPushButton::clicked, this, [&manager, id] { manager.use(id); });
        actions->addWidget(use);
    }
    std::error_code ec;
    if (!entry.inUse && entry.state != State::settingUp &&
        std::filesystem::exists(entry.folder, ec)) {
        auto* remove = button("移除", "remove");
        remove->setToolTip("把引擎文件夹连同其中的任务移到回收站");
        remove->setAccessibleDescription(remove->toolTip());
        connect(remove, &QPushButton::clicked, this, [&manager, id] { manager.remove(id); });
        actions->addWidget(remove);
    }
    actions->addStretch();
    lines->addLayout(actions);
    return card;
}

// How the missing packages get installed: the desktop's own installer where
// it has one, otherwise the command to type, with a button to copy it.
QWidget* EngineSection::packageRow(const EngineEntry& entry)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    const std::vector<std::string> packages = entry.missingPackages;
    if (installer_.available()) {
        auto* install = button(installing_ ? "正在安装软件包…" : "安装软件包…", "installPackages");
        install->setEnabled(!installing_);
        connect(install, &QPushButton::clicked, this, [this, install, packages] {
            installing_ = true;
            install->setEnabled(false);
            install->setText("正在安装软件包…");
            const QPointer<EngineSection> alive(this);
            installer_.install(packages, [alive](std::optional<std::string> failure) {
                if (!alive)
                    return;
                alive->installing_ = false;
                if (failure)
                    alive->workbench_.setError("软件包没有装好：" + *failure);
                alive->workbench_.engineManager().refresh();
                // Rebuilt even when nothing was installed (the user said no),
                // which leaves the engines as they were.
                alive->shown_.clear();
                alive->refresh(ui::FieldSet::all());
            });
        });
        layout->addWidget(install);
    } else {
        const QString command = QString::fromStdString(EngineManager::installCommand(packages));
        auto* line = new QLabel(command);
        line->setObjectName("installCommand");
        line->setFont(ui::theme::monospaceFont(10));
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(line);
        auto* copy = button("复制", "copyCommand");
        copy->setAccessibleDescription("复制安装命令：" + command);
        connect(copy, &QPushButton::clicked, this,
                [command] { QApplication::clipboard()->setText(command); });
        layout->addWidget(copy);
    }
    layout->addStretch();
    return row;
}

} // namespace tonfield::app
