#pragma once

#include "ui/workbench_bridge.hpp"
#include "workbench/workbench.hpp"

#include "fakes/engine_fixture.hpp"
#include "fakes/fake_platform.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace tonfield::test {

// A Workbench over fakes with a ready engine folder, bridged to Qt.
struct ViewFixture {
    TempFolder temp;
    FakePlatform platform;
    std::shared_ptr<Workbench> workbench;
    std::unique_ptr<ui::WorkbenchBridge> bridge;

    ViewFixture()
    {
        makeEngineFolder(engineRoot(), true);
        platform.environment.currentDirectoryPath = engineRoot();
        writeFile(temp / "song.flac", "fLaC");
        workbench = Workbench::create(platform.services());
        bridge = std::make_unique<ui::WorkbenchBridge>(*workbench);
    }
    std::filesystem::path engineRoot() const { return temp / "Engine"; }
    std::filesystem::path source() const { return temp / "song.flac"; }

    void startJob()
    {
        workbench->importFile(source());
        workbench->start();
    }
    // A finished job whose stems lie in its output folder.
    void finishJobWithStems(std::initializer_list<const char*> stems)
    {
        startJob();
        const auto output =
            engineRoot() / ("data/jobs/" + workbench->selectedJob()->id + "/output");
        for (const char* stem : stems)
            writeFile(output / stem, "audio");
        platform.launcher.exit(0);
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
