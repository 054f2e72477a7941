// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/menus.hpp"
#include "app/qt_translations.hpp"
#include "app/quit_confirmation.hpp"
#include "app/settings_window.hpp"
#include "model/job_layout.hpp"
#include "model/job_store.hpp"
#include "model/job_values.hpp"
#include "ui/icons.hpp"
#include "ui/main_window.hpp"
#include "ui/panel.hpp"
#include "ui/sidebar.hpp"
#include "ui/theme.hpp"
#include "ui/top_bar.hpp"
#include "ui/workspace_view.hpp"

#include "adapters/desktop/qt_desktop.hpp"
#include "adapters/qt_adapters.hpp"
#include "fakes/fake_package_installer.hpp"
#include "fakes/sample_job.hpp"
#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <unistd.h>

using namespace tonfield;
using test::child;
using test::settle;

class ShellTest final : public QObject {
    Q_OBJECT

private slots:
    void topBarFollowsTheEngineOnDisk()
    {
        test::ViewFixture f;
        ui::TopBar bar(*f.workbench);
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &bar, &ui::TopBar::refresh);
        QCOMPARE(bar.height(), ui::TopBar::heightPx);
        QCOMPARE(bar.dotColour(), ui::theme::mint());
        QCOMPARE(child<QLabel>(bar, "engineStatus")->text(), QString("本地分轨引擎就绪"));

        // No Workbench operation runs: the folder watch notices the interpreter going.
        std::filesystem::remove(f.engineRoot() / ".venv/bin/python");
        QTRY_COMPARE(bar.dotColour(), ui::theme::orange());
        QCOMPARE(child<QLabel>(bar, "engineStatus")->text(), QString("请选择分轨引擎文件夹"));
        test::makeEngineFolder(f.engineRoot(), true);
        QTRY_COMPARE(bar.dotColour(), ui::theme::mint());

        // The whole folder moved away while idle, and back.
        const auto moved = f.temp / "Moved Engine";
        std::filesystem::rename(f.engineRoot(), moved);
        QTRY_COMPARE(bar.dotColour(), ui::theme::orange());
        QCOMPARE(child<QLabel>(bar, "engineStatus")->text(), QString("请选择分轨引擎文件夹"));
        std::filesystem::rename(moved, f.engineRoot());
        QTRY_COMPARE(bar.dotColour(), ui::theme::mint());
        std::filesystem::remove(f.engineRoot() / ".venv/bin/python"); // watched again
        QTRY_COMPARE(bar.dotColour(), ui::theme::orange());
        test::makeEngineFolder(f.engineRoot(), true);
        QTRY_COMPARE(bar.dotColour(), ui::theme::mint());

        f.workbench->setShowHistory(true);
        settle();
        QCOMPARE(child<QLabel>(bar, "page")->text(), QString("处理记录"));
    }

    // An installed Tonfield's first run: the bar says the engine is being
    // prepared, then ready, while the window stays usable.
    void topBarShowsTheFirstRunPreparingTheEngine()
    {
        test::TempFolder temp;
        test::FakePlatform platform;
        platform.environment.installedTemplate = temp / "share/tonfield/engine";
        platform.environment.dataFolder = temp / "data/Tonfield";
        auto workbench = Workbench::create(platform.services());
        ui::WorkbenchBridge bridge(*workbench);
        ui::TopBar bar(*workbench);
        QObject::connect(&bridge, &ui::WorkbenchBridge::changed, &bar, &ui::TopBar::refresh);
        QCOMPARE(child<QLabel>(bar, "engineStatus")->text(), QString("正在准备本地分轨引擎…"));
        QCOMPARE(bar.dotColour(), ui::theme::orange());

        test::makeEngineFolder(temp / "data/Tonfield/Engine", true);
        platform.launcher.exit(0);
        settle();
        QCOMPARE(child<QLabel>(bar, "engineStatus")->text(), QString("本地分轨引擎就绪"));
        QCOMPARE(bar.dotColour(), ui::theme::mint());
    }

    void sidebarCountsJobsAndFollowsBusy()
    {
        test::ViewFixture f;
        QUrl opened;
        ui::Sidebar sidebar(*f.workbench, [&](const QUrl& url) { opened = url; });
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &sidebar,
                         &ui::Sidebar::refresh);
        QCOMPARE(sidebar.width(), ui::Sidebar::widthPx);
        QCOMPARE(child<QLabel>(sidebar, "historyCount")->text(), QString("0"));

        f.startJob();
        settle();
        QCOMPARE(child<QLabel>(sidebar, "historyCount")->text(), QString("1"));
        QVERIFY(!child<QAbstractButton>(sidebar, "engineSettings")->isEnabled());
        QVERIFY(child<QAbstractButton>(sidebar, "处理记录")->isEnabled());

        // Opening the history re-reads it from disk.
        test::storeJob(f.engineRoot(), test::sampleJob(std::string(32, 'b')));
        child<QAbstractButton>(sidebar, "处理记录")->click();
        settle();
        QVERIFY(f.workbench->showHistory());
        QCOMPARE(child<QLabel>(sidebar, "historyCount")->text(), QString("2"));

        f.platform.launcher.exit(0);
        settle();
        QVERIFY(child<QAbstractButton>(sidebar, "engineSettings")->isEnabled());
        child<QAbstractButton>(sidebar, "modelCollectionLink")->click();
        QCOMPARE(opened, QUrl(ui::Sidebar::modelCollectionUrl));
    }

    void menusFollowBusy()
    {
        test::ViewFixture f;
        ui::MainWindow window(*f.bridge, {});
        QWidget settingsWindow;
        const app::Menus menus =
            app::installMenus(window, *f.bridge, [&]() -> QWidget& { return settingsWindow; });
        QCOMPARE(menus.importAudio->shortcut(), QKeySequence(QKeySequence::Open));
        QVERIFY(menus.importAudio->isEnabled() && menus.chooseEngine->isEnabled());
        f.startJob();
        settle();
        QVERIFY(!menus.importAudio->isEnabled() && !menus.chooseEngine->isEnabled());
        f.platform.launcher.exit(1);
        settle();
        QVERIFY(menus.importAudio->isEnabled() && menus.chooseEngine->isEnabled());
    }

    // The listener's keys, each also a menu item: Space toggles what the
    // playback bar holds unless a focused button takes it, Escape stops,
    // Ctrl+E exports all, Ctrl+H opens the history, Ctrl+, the settings.
    void keyboardShortcutsLiveInTheMenus()
    {
        test::ViewFixture f;
        ui::MainWindow window(*f.bridge, {});
        QWidget settingsWindow;
        const app::Menus menus =
            app::installMenus(window, *f.bridge, [&]() -> QWidget& { return settingsWindow; });
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        f.finishJobWithStems({"a_(Vocals).wav"});
        const auto stem = f.workbench->stems().front().url;
        f.platform.audio.durations = {{stem, 10}};
        f.workbench->play(stem);
        settle();
        for (QAction* action : {menus.playPause, menus.stopPlayback, menus.exportAll,
                                menus.showHistory, menus.settings})
            QVERIFY2(action->menu() == nullptr && !action->associatedObjects().isEmpty(),
                     qPrintable(action->text()));

        if (QApplication::focusWidget())
            QApplication::focusWidget()->clearFocus();
        QTest::keyClick(&window, Qt::Key_Space);
        QVERIFY(!f.workbench->playingURL()); // paused
        QTest::keyClick(&window, Qt::Key_Space);
        QCOMPARE(f.workbench->playingURL(), stem);

        // A focused button is pressed by Space instead.
        auto* historyButton = window.findChild<QAbstractButton*>("处理记录");
        QVERIFY(historyButton);
        historyButton->setFocus(Qt::TabFocusReason);
        QTest::keyClick(historyButton, Qt::Key_Space);
        QVERIFY(f.workbench->showHistory());
        QCOMPARE(f.workbench->playingURL(), stem);
        f.workbench->setShowHistory(false);
        historyButton->clearFocus();

        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!f.workbench->loadedFile());
        // A job another program recorded meanwhile is there when the history
        // opens, by Ctrl+H as by the sidebar.
        test::storeJob(f.engineRoot(), test::sampleJob(std::string(32, 'e'), 99));
        const std::size_t before = f.workbench->jobs().size();
        QTest::keyClick(&window, Qt::Key_H, Qt::ControlModifier);
        QVERIFY(f.workbench->showHistory());
        QCOMPARE(f.workbench->jobs().size(), before + 1);
        QTest::keyClick(&window, Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(f.platform.dialogs.folderRequests.size(), 1u);
        QTest::keyClick(&window, Qt::Key_Comma, Qt::ControlModifier);
        QVERIFY(settingsWindow.isVisible());
        // Over the main window, not off in a corner.
        const QPoint offset = settingsWindow.geometry().center() - window.frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 4,
                 qPrintable(QString("%1, %2").arg(offset.x()).arg(offset.y())));
    }

    // One notification per event-loop turn, naming exactly the fields assigned.
    void bridgeReportsTheFieldsThatChanged()
    {
        test::ViewFixture f;
        QList<ui::FieldSet> heard;
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed,
                         [&](const ui::FieldSet& fields) { heard << fields; });
        f.workbench->setMode(SeparationMode::four);
        f.workbench->setFormat("FLAC");
        settle();
        QCOMPARE(heard.size(), 1);
        using Field = Workbench::Field;
        QVERIFY(heard[0].any({Field::mode}) && heard[0].any({Field::format}));
        QVERIFY(!heard[0].any({Field::jobs, Field::log, Field::busy, Field::engineRoot}));
        settle();
        QCOMPARE(heard.size(), 1);
    }

    // Another process (the command line) adds a job and runs it to its end
    // while the window is open: the history follows without being asked.
    void historyFollowsJobsAnotherProcessWrites()
    {
        test::ViewFixture f;
        f.workbench->setShowHistory(true);
        settle();
        QCOMPARE(f.workbench->jobs().size(), 0u);
        Job job;
        job.id = "0123456789abcdef0123456789abcdef";
        job.filename = "晴天.mp3";
        job.status = std::string(job_status::queued);
        job.created = 1'700'000'000;
        std::filesystem::create_directories(layout::jobFolder(f.engineRoot(), job.id));
        QVERIFY(writeRecord(f.engineRoot(), job));
        QTRY_COMPARE(f.workbench->jobs().size(), 1u);
        QCOMPARE(f.workbench->jobs()[0].status, std::string(job_status::queued));
        job.status = std::string(job_status::running);
        QVERIFY(writeRecord(f.engineRoot(), job));
        QTRY_COMPARE(f.workbench->jobs()[0].status, std::string(job_status::running));
        job.status = std::string(job_status::done);
        QVERIFY(writeRecord(f.engineRoot(), job));
        QTRY_COMPARE(f.workbench->jobs()[0].status, std::string(job_status::done));
    }

    void errorAlertShowsAndClearsTheError()
    {
        test::ViewFixture f;
        ui::MainWindow window(*f.bridge, {});
        QString shownText;
        test::answerNextDialog([&](QWidget* dialog) {
            auto* alert = qobject_cast<QMessageBox*>(dialog);
            QVERIFY(alert);
            // A newer error while the alert is up replaces its text.
            f.workbench->setError("所选目录不包含 separate_job.py。");
            settle();
            shownText = alert->windowTitle() + "|" + alert->text() + "|" +
                        alert->buttons().constFirst()->text();
            alert->buttons().constFirst()->click();
        });
        f.workbench->importFile(f.temp / "notes.txt");
        settle();
        QCOMPARE(shownText, QString("提示|所选目录不包含 separate_job.py。|好"));
        QVERIFY(!f.workbench->error());
    }

    void quitDecision()
    {
        test::ViewFixture f;
        int asked = 0;
        bool answer = false;
        app::QuitConfirmation quit(*f.workbench, [&] {
            ++asked;
            return answer;
        });
        QVERIFY(quit.mayQuit());
        QCOMPARE(asked, 0);

        f.startJob();
        const auto record = layout::recordFile(f.engineRoot(), f.workbench->selectedJob()->id);
        const std::string before = test::readFile(record);
        QVERIFY(!quit.mayQuit()); // "继续分轨"
        QCOMPARE(asked, 1);
        QVERIFY(f.workbench->busy());
        QCOMPARE(test::readFile(record), before);
        QCOMPARE(f.platform.launcher.last().terminateRequests, 0);

        answer = true; // "退出": the run ends as a quit ends it
        QVERIFY(quit.mayQuit());
        QCOMPARE(f.workbench->selectedJob()->message, std::string("App 已退出，任务取消"));
        QCOMPARE(f.platform.launcher.last().terminateRequests, 1);
    }

    void saveChooserAddsTheStemsExtension()
    {
        test::TempFolder temp;
        adapters::QtDialogs dialogs;
        for (const char* typed : {"mix", "mix.flac"}) {
            test::answerNextDialog([&](QWidget* dialog) {
                auto* chooser = qobject_cast<QFileDialog*>(dialog);
                QVERIFY(chooser);
                chooser->setDirectory(QString::fromStdString(temp.path().string()));
                auto* name = chooser->findChild<QLineEdit*>("fileNameEdit");
                QVERIFY(name);
                name->setText(typed);
                QTest::keyClick(name, Qt::Key_Return);
            });
            const auto chosen = dialogs.chooseSaveFile("song_(Vocals).wav", "wav");
            QVERIFY(chosen);
            QCOMPARE(chosen->filename().string(),
                     std::string(typed) == "mix" ? "mix.wav" : "mix.flac");
        }
    }

    void qtsOwnTextsAreChinese()
    {
        app::loadChineseQtTranslations(*QCoreApplication::instance());
        QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QString("取消"));
        QCOMPARE(buttons.button(QDialogButtonBox::Save)->text(), QString("保存"));
    }

    void quitAlertKeepsItsSentenceOnOneLine()
    {
        bool fits = false;
        test::answerNextDialog([&](QWidget* dialog) {
            auto* text = dialog->findChild<QLabel*>("qt_msgbox_informativelabel");
            QVERIFY(text);
            fits = text->width() >= text->fontMetrics().horizontalAdvance(text->text());
            QMetaObject::invokeMethod(dialog, "reject");
        });
        QVERIFY2(!app::QuitConfirmation::askWithAlert(), "closed without an answer: keep going");
        QVERIFY(fits);
    }

    void closingTheWindowPassesTheDecision()
    {
        test::ViewFixture f;
        bool allow = false;
        ui::MainWindow window(*f.bridge, {.openUrl = {}, .mayClose = [&] { return allow; }});
        window.show();
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        allow = true;
        QVERIFY(window.close());
    }

    void everySymbolHasAGlyphInTheBuiltInFont()
    {
        const QFontMetrics metrics(ui::icons::font(16));
        QVERIFY(!ui::icons::allSymbols().isEmpty());
        for (const QString& symbol : ui::icons::allSymbols()) {
            const QString glyph = ui::icons::glyph(symbol.toUtf8().constData());
            QVERIFY2(!glyph.isEmpty() && metrics.inFontUcs4(glyph.at(0).unicode()),
                     qPrintable(symbol));
        }
        QVERIFY(ui::icons::glyph("no.such.symbol").isEmpty());
    }

    void windowSizesAndPanelHeaders()
    {
        test::ViewFixture f;
        ui::MainWindow window(*f.bridge, {});
        QWidget settingsWindow;
        app::installMenus(window, *f.bridge, [&]() -> QWidget& { return settingsWindow; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QString("Tonfield · 音乐分轨"));
        // The content area has the sizes; the menu bar comes on top.
        QCOMPARE(window.centralWidget()->size(), QSize(1240, 860));
        QVERIFY(window.menuBar()->height() > 0);
        QCOMPARE(window.height(), 860 + window.menuBar()->height());
        window.resize(100, 100);
        settle();
        QCOMPARE(window.centralWidget()->size(), QSize(960, 700));

        std::unique_ptr<QWidget> results(ui::panelTitle("03", "分离结果", ""));
        QVERIFY(!child<QLabel>(*results, "caption"));
        std::unique_ptr<QWidget> source(ui::panelTitle("01", "导入音频", "SOURCE AUDIO"));
        QCOMPARE(child<QLabel>(*source, "caption")->text(), QString("SOURCE AUDIO"));
    }

    void settingsWindowFollowsTheEngineFolder()
    {
        test::FakePlatform noEngine;
        auto unconfigured = Workbench::create(noEngine.services());
        ui::WorkbenchBridge unconfiguredBridge(*unconfigured);
        test::FakePackageInstaller installer;
        QCOMPARE(child<QLabel>(app::SettingsWindow(unconfiguredBridge, installer), "engineFolder")
                     ->text(),
                 QString("尚未配置"));

        test::ViewFixture f;
        app::SettingsWindow settings(*f.bridge, installer);
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        QCOMPARE(settings.width(), app::SettingsWindow::widthPx);
        QCOMPARE(child<QLabel>(settings, "engineFolder")->text(),
                 QString::fromStdString(f.engineRoot().string()));
        const auto other = f.temp / "Other Engine";
        test::makeEngineFolder(other, false);
        f.platform.dialogs.folderAnswers.push_back(other);
        child<QAbstractButton>(settings, "chooseEngine")->click();
        settle();
        QCOMPARE(child<QLabel>(settings, "engineFolder")->text(),
                 QString::fromStdString(other.string()));

        // Escape and Ctrl+W close it.
        for (const QKeySequence& keys :
             {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
            settings.show();
            settings.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&settings));
            QTest::keySequence(&settings, keys);
            QVERIFY2(!settings.isVisible(), qPrintable(keys.toString()));
        }
    }
};

TONFIELD_VIEW_TEST_MAIN(ShellTest)

#include "shell_test.moc"
