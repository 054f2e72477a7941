// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/workbench_bridge.hpp"
#include "ui/workspace_view.hpp"
#include "workbench/workbench.hpp"

#include "fakes/fake_workbench.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace tonfield::test {

// A Workbench over fakes with a ready engine folder, bridged to Qt.
struct ViewFixture : FakeWorkbench {
    std::unique_ptr<ui::WorkbenchBridge> bridge = std::make_unique<ui::WorkbenchBridge>(*workbench);

    ViewFixture()
        : FakeWorkbench("song.flac")
    {
    }
};

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

// Lets queued change notifications reach the views.
inline void settle()
{
    QCoreApplication::processEvents();
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
