// SPDX-License-Identifier: GPL-3.0-or-later
// The history page with 10,000 jobs: the time from a keystroke in the search
// field to the redrawn window, and the time the size scan takes (off the main
// thread in the application; here timed on its own). Opening the page is
// timed with it: the list and its first drawing.

#include "ui/history_list.hpp"
#include "ui/job_rows.hpp"
#include "ui/workbench_bridge.hpp"
#include "ui/workspace_view.hpp"

#include "fakes/fake_workbench.hpp"
#include "job_folders.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char* argv[])
{
    namespace fs = std::filesystem;
    using namespace tonfield;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const fs::path jobs = bench::makeJobFolders(true);
    test::FakeWorkbench fixture("song.wav");
    fs::create_directories(fixture.engineRoot() / "data");
    fs::rename(layout::jobsFolder(jobs), layout::jobsFolder(fixture.engineRoot()));
    fixture.workbench->loadHistory();
    ui::WorkbenchBridge bridge(*fixture.workbench);
    ui::WorkspaceView window(*fixture.workbench, {});
    QObject::connect(&bridge, &ui::WorkbenchBridge::changed, &window, &ui::WorkspaceView::refresh);
    window.resize(1240, 860);
    window.show();
    QCoreApplication::processEvents();
    auto& list = *window.findChild<ui::HistoryList*>("historyList");

    QElapsedTimer clock;
    clock.start();
    fixture.workbench->setShowHistory(true);
    QCoreApplication::processEvents();
    const double requestMs = clock.nsecsElapsed() / 1e6; // shows the page too
    clock.restart();
    fixture.platform.background.runAll();
    const double scanMs = clock.nsecsElapsed() / 1e6;
    std::printf("size scan of %d jobs (5 files each): %.0f ms on the worker; opening the page "
                "with its request: %.1f ms on the main thread; %s bytes in all\n",
                bench::jobCount, scanMs, requestMs,
                std::to_string(fixture.workbench->storedJobs().diskUsage().totalBytes()).c_str());

    auto* search = list.findChild<QLineEdit*>("historySearch");
    std::vector<double> perKey;
    int matched = 0;
    for (int round = 0; round < 5; ++round) {
        for (const QChar c : QString("第1234首")) {
            clock.restart();
            QTest::keyClick(search, c.toLatin1() ? c.toLatin1() : ' ', Qt::NoModifier);
            if (!c.toLatin1()) // keyClick types Latin only: the rest goes in as text
                search->setText(search->text().chopped(1) + c);
            window.repaint();
            perKey.push_back(clock.nsecsElapsed() / 1e6);
        }
        matched = list.rows().model()->rowCount();
        search->clear();
        window.repaint();
    }
    std::sort(perKey.begin(), perKey.end());
    std::printf("filter per keystroke over %d jobs, typing \"第1234首\": median %.2f ms, worst "
                "%.2f ms (%d row found)\n",
                bench::jobCount, perKey[perKey.size() / 2], perKey.back(), matched);
    fs::remove_all(jobs);
    return 0;
}
