// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/source_panel.hpp"

#include "ui/theme.hpp"

#include "interop/qt_paths.hpp"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMimeData>

namespace tonfield::ui {
SourcePanel::SourcePanel(Workbench& workbench, QWidget* parent)
    : Panel(parent)
    , workbench_(workbench)
    , dropZone_(new BoxButton({.fill = theme::withAlpha(theme::mint(), 0.025),
                               .border = theme::withAlpha(theme::mint(), 0.25),
                               .radius = 7,
                               .dashed = true}))
    , sourceCard_(new RoundedBox({.fill = theme::withAlpha(theme::mint(), 0.06), .radius = 7}))
    , fileName_(new ElidedLabel(2, theme::font(13), Qt::white))
    , extension_(textLabel("", theme::font(11), theme::muted()))
    , preview_(new BoxButton({}))
    , previewSymbol_(symbolLabel("play.circle.fill", 22, theme::mint()))
    , replace_(symbolButton("arrow.triangle.2.circlepath", 16, theme::muted()))
{
    setObjectName("sourcePanel");
    setAcceptDrops(true);
    content()->addWidget(panelTitle("01", "导入音频", "SOURCE AUDIO"));
    content()->addSpacing(4);

    dropZone_->setObjectName("dropZone");
    auto* zone = new QVBoxLayout(dropZone_);
    zone->setContentsMargins(0, 30, 0, 30);
    zone->setSpacing(14);
    auto* arrow = symbolLabel("square.and.arrow.up", 30, theme::mint());
    arrow->setContentsMargins(0, 0, 0, 6);
    zone->addWidget(arrow, 0, Qt::AlignHCenter);
    zone->addWidget(textLabel("把音乐放进来", theme::font(15, QFont::Medium), Qt::white), 0,
                    Qt::AlignHCenter);
    zone->addWidget(
        textLabel("拖放音频文件到这里，或点击浏览文件", theme::font(11), theme::muted()), 0,
        Qt::AlignHCenter);
    zone->addWidget(
        textLabel("MP3 · WAV · FLAC · M4A · OGG", theme::font(8, QFont::Normal, 1), theme::muted()),
        0, Qt::AlignHCenter);
    content()->addWidget(dropZone_);

    sourceCard_->setObjectName("sourceCard");
    auto* card = new QHBoxLayout(sourceCard_);
    card->setContentsMargins(22, 22, 22, 22);
    card->setSpacing(12);
    card->addWidget(symbolLabel("music.note", 22, theme::mint()));
    auto* lines = new QVBoxLayout;
    lines->setSpacing(3);
    fileName_->setObjectName("fileName");
    extension_->setObjectName("extension");
    lines->addWidget(fileName_);
    lines->addWidget(extension_);
    card->addLayout(lines, 1);
    preview_->setObjectName("preview");
    auto* previewLayout = new QHBoxLayout(preview_);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->addWidget(previewSymbol_);
    card->addWidget(preview_);
    replace_->setObjectName("replace");
    replace_->setText("更换音频");
    card->addWidget(replace_);
    content()->addWidget(sourceCard_);

    auto* note = new QHBoxLayout;
    note->setSpacing(5);
    note->addStretch();
    note->addWidget(symbolLabel("lock.shield", 11, theme::muted()));
    note->addWidget(
        textLabel("音频在此设备上处理，原始文件保持不变", theme::font(9), theme::muted()));
    note->addStretch();
    content()->addSpacing(3);
    content()->addLayout(note);

    connect(dropZone_, &QAbstractButton::clicked, this, [this] { workbench_.chooseFile(); });
    connect(replace_, &QAbstractButton::clicked, this, [this] { workbench_.chooseFile(); });
    connect(preview_, &QAbstractButton::clicked, this, [this] {
        if (workbench_.source())
            workbench_.play(*workbench_.source());
    });
    refresh();
}

void SourcePanel::refresh(const FieldSet& changed)
{
    if (!changed.any(
            {Workbench::Field::busy, Workbench::Field::playingURL, Workbench::Field::source}))
        return;
    const auto& source = workbench_.source();
    dropZone_->setVisible(!source);
    sourceCard_->setVisible(source.has_value());
    dropZone_->setEnabled(!workbench_.busy());
    replace_->setEnabled(!workbench_.busy());
    if (!source)
        return;
    const QFileInfo file(toQString(*source));
    fileName_->setText(file.fileName());
    extension_->setText(file.suffix().toUpper());
    const bool playing = workbench_.playingURL() == source;
    setSymbol(*previewSymbol_, playing ? "pause.circle.fill" : "play.circle.fill");
    preview_->setText((playing ? "暂停 " : "试听 ") + file.fileName());
}

// Any local file may be dragged over the card; nothing lights up while it hovers.
void SourcePanel::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localFileUrls(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void SourcePanel::dropEvent(QDropEvent* event)
{
    const QList<QUrl> files = localFileUrls(event->mimeData());
    if (files.isEmpty() || workbench_.busy()) {
        if (!files.isEmpty()) // the drop looked possible: say why nothing happens
            workbench_.setError(
                "正在分轨，完成后才能换一首音乐；要接着处理它，请把它拖到处理记录里排队。");
        event->ignore();
        return;
    }
    workbench_.importFile(toPath(files.constFirst().toLocalFile()));
    event->acceptProposedAction();
}

} // namespace tonfield::ui
