// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/panel.hpp"

#include "ui/theme.hpp"

#include <QHBoxLayout>

namespace tonfield::ui {

Panel::Panel(QWidget* parent)
    : RoundedBox({.fill = theme::surface(), .border = theme::white(0.08), .radius = 10}, parent)
    , content_(new QVBoxLayout(this))
{
    content_->setContentsMargins(21, 21, 21, 21);
    content_->setSpacing(13);
    content_->setAlignment(Qt::AlignTop);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
}

QWidget* panelTitle(const QString& number, const QString& title, const QString& caption)
{
    auto* header = new QWidget;
    header->setObjectName("panelTitle");
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(9);

    auto* badge = new RoundedBox({.fill = theme::withAlpha(theme::mint(), 0.07), .radius = 4});
    auto* badgeLayout = new QHBoxLayout(badge);
    badgeLayout->setContentsMargins(5, 5, 5, 5);
    badgeLayout->addWidget(
        textLabel(number, theme::monospaceFont(8), theme::withAlpha(theme::mint(), 0.7)));
    row->addWidget(badge);
    row->addWidget(textLabel(title, theme::font(12, QFont::Medium), Qt::white));
    row->addStretch();
    if (!caption.isEmpty()) {
        auto* captionLabel = textLabel(caption, theme::font(7, QFont::Normal, 1.5), theme::muted());
        captionLabel->setObjectName("caption");
        row->addWidget(captionLabel);
    }
    return header;
}

} // namespace tonfield::ui
