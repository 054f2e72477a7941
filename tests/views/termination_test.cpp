// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/quit_confirmation.hpp"
#include "model/job_json.hpp"
#include "model/job_layout.hpp"
#include "ui/main_window.hpp"

#include "adapters/qt_adapters.hpp"
#include "fakes/engine_fixture.hpp"
#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QTest>
#include <QTimer>

#include <csignal>
#include <unistd.h>

using namespace tonfield;

class TerminationTest final : public QObject {
    Q_OBJECT

private slots:
    // SIGTERM while a real engine runs: the record is cancelled, the engine
    // asked to stop, and the application ends without a question. The quit
    // reaches any modal loop that runs after it: this test has its process
    // to itself.
    void terminationSignalEndsARunningJobWithoutAsking()
    {
        test::TempFolder temp;
        const std::filesystem::path engine = temp / "Engine";
        test::makeEngineFolder(engine, false);
        const auto python = engine / ".venv/bin/python";
        test::writeFile(python, "#!/bin/sh\n"
                                "trap 'echo stop > terminated; exit 143' TERM\n"
                                "echo 模型就绪\n"
                                "while :; do sleep 0.05; done\n");
        std::filesystem::permissions(python, std::filesystem::perms::owner_all);
        test::writeFile(temp / "song.flac", "fLaC");

        test::FakePlatform fakes;
        fakes.environment.currentDirectoryPath = engine;
        adapters::QtProcessLauncher launcher;
        auto workbench = Workbench::create(fakes.services(&launcher));
        ui::WorkbenchBridge bridge(*workbench);
        int asked = 0;
        app::QuitConfirmation quit(*workbench, [&] {
            ++asked;
            return false;
        });
        quit.endOnTerminationSignals();
        ui::MainWindow window(
            bridge, {.openUrl = {}, .mayClose = [&] { return quit.mayCloseMainWindow(); }});
        window.show();
        workbench->importFile(temp / "song.flac");
        workbench->start();
        QVERIFY(workbench->busy());
        const auto record = layout::recordFile(engine, workbench->selectedJob()->id);

        QTimer::singleShot(100, [] { ::kill(::getpid(), SIGTERM); });
        // Only if broken; tied to the window so that it never ends a later test's event loop.
        QTimer::singleShot(30'000, &window, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(asked, 0);
        QVERIFY(!window.isVisible());
        const Job saved = *decodeJob(test::readFile(record));
        QCOMPARE(saved.status, std::string("cancelled"));
        QCOMPARE(saved.message, std::string("App 已退出，任务取消"));
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(engine / "terminated"), 30'000);
    }
};

TONFIELD_VIEW_TEST_MAIN(TerminationTest)

#include "termination_test.moc"
