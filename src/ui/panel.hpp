// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets.hpp"

#include <QVBoxLayout>

namespace tonfield::ui {

// The card that frames each work panel: surface fill, 1 px white border at
// 8 %, radius 10, 21 px padding, children stacked 13 px apart at the leading
// edge, taking all the width it is offered.
class Panel : public RoundedBox {
public:
    explicit Panel(QWidget* parent = nullptr);
    QVBoxLayout* content() const { return content_; }

private:
    QVBoxLayout* content_;
};

// A panel's numbered header: badge, title and, when not empty, a caption at
// the trailing edge.
QWidget* panelTitle(const QString& number, const QString& title, const QString& caption);

} // namespace tonfield::ui
