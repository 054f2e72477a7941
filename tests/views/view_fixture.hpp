// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/workbench_bridge.hpp"
#include "ui/workspace_view.hpp"
#include "workbench/workbench.hpp"

#include "fakes/fake_workbench.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>

namespace tonfield::test {

// A Workbench over fakes with a ready engine folder, bridged to Qt.
struct ViewFixture : FakeWorkbench {
    std::unique_ptr<ui::WorkbenchBridge> bridge = std::make_unique<ui::WorkbenchBridge>(*workbench);

    ViewFixture()
        : FakeWorkbench("song.flac")
    {
    }
};

// One of the window's parts on its own, refreshed by the fixture's bridge as
// the window refreshes it, and shown.
template <class Part, class... Extra>
std::unique_ptr<Part> showPanel(ViewFixture& f, Extra&&... extra)
{
    auto part = std::make_unique<Part>(*f.workbench, std::forward<Extra>(extra)...);
    QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, part.get(), &Part::refresh);
    part->show();
    return part;
}

// Answers the next modal dialog as soon as it is up: `answer` gets it.
inline void answerNextDialog(std::function<void(QWidget*)> answer)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer = std::move(answer)] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            poll->deleteLater();
            poll->stop();
            answer(dialog);
        }
    });
    poll->start(5);
}

// Drags files over a widget and drops them, as the window system would.
inline bool dropFiles(QWidget& target, const QList<QUrl>& files)
{
    QMimeData data;
    data.setUrls(files);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &drop);
    return drop.isAccepted();
}

// Lets queued change notifications reach the views.
inline void settle()
{
    QCoreApplication::processEvents();
}

// Lets the layout finish as well: a page that grows inside its scroll area
// is resized one event-loop turn after its contents asked for the room, and
// meanwhile its contents are squeezed.
inline void settleLayout()
{
    settle();
    for (int pass = 0; pass < 4; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

// The whole workspace shown at a content size, redrawn at every change.
inline std::unique_ptr<ui::WorkspaceView> showWorkspace(ViewFixture& f, QSize size)
{
    auto view =
        std::make_unique<ui::WorkspaceView>(*f.workbench, std::function<void(const QUrl&)>());
    QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, view.get(),
                     &ui::WorkspaceView::refresh);
    view->resize(size);
    view->show();
    settle();
    return view;
}

template <class T = QWidget> T* child(const QObject& parent, const char* name)
{
    return parent.findChild<T*>(name);
}

// The widget's visibility as drawn within its top-level window.
inline bool shown(const QWidget* widget)
{
    return widget && widget->isVisibleTo(widget->window());
}

} // namespace tonfield::test
