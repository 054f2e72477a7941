// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/display_text.hpp"
#include "ui/history_list.hpp"
#include "ui/job_rows.hpp"
#include "ui/playback_bar.hpp"
#include "ui/results_panel.hpp"
#include "ui/settings_panel.hpp"
#include "ui/source_panel.hpp"
#include "ui/theme.hpp"
#include "ui/widgets.hpp"
#include "ui/workspace_view.hpp"

#include "fakes/sample_job.hpp"
#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QAccessible>
#include <QComboBox>
#include <QDateTime>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <functional>

using namespace tonfield;
using test::child;
using test::settle;
using test::shown;

namespace {

// Drags files over a widget and drops them, as the window system would.
bool dropFiles(QWidget& target, const QList<QUrl>& files)
{
    QMimeData data;
    data.setUrls(files);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &drop);
    return drop.isAccepted();
}

QString symbolOf(const QLabel* label)
{
    return label->property("symbol").toString();
}

// What a history row reads to assistive technology: name, date, status.
QString rowText(const ui::JobRowsView& rows, int row)
{
    return rows.model()->index(row, 0).data(Qt::AccessibleTextRole).toString();
}

// A plain click on a history row, left of its delete button.
void clickRow(ui::JobRowsView& rows, int row)
{
    const QRect rect = rows.visualRect(rows.model()->index(row, 0));
    QTest::mouseClick(rows.viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(rect.left() + 40, rect.top() + 20));
}

} // namespace

namespace {

// The controls Tab reaches, in order.
QList<QWidget*> focusChain(QWidget& window)
{
    QList<QWidget*> chain;
    for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&window))
            chain << w;
    return chain;
}

} // namespace

class PanelsTest final : public QObject {
    Q_OBJECT

private slots:
    void sourcePanelImportsTheFirstDroppedFileUnlessBusy()
    {
        test::ViewFixture f;
        ui::SourcePanel panel(*f.workbench);
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &panel,
                         &ui::SourcePanel::refresh);
        panel.resize(600, 300);
        panel.show();
        QVERIFY(shown(child(panel, "dropZone")) && !shown(child(panel, "sourceCard")));

        const auto file = [&](const char* name) {
            return QUrl::fromLocalFile(QString::fromStdString((f.temp / name).string()));
        };
        QVERIFY(!dropFiles(panel, {}));
        QVERIFY(dropFiles(panel, {file("First Song.flac"), file("b.mp3"), file("c.wav")}));
        settle();
        QCOMPARE(f.workbench->source(), f.temp / "First Song.flac");
        QVERIFY(!shown(child(panel, "dropZone")) && shown(child(panel, "sourceCard")));
        auto* name = child<ui::ElidedLabel>(panel, "fileName");
        QCOMPARE(name->text(), QString("First Song.flac"));
        QCOMPARE(name->displayedLines(), QStringList{"First Song.flac"});
        QCOMPARE(child<QLabel>(panel, "extension")->text(), QString("FLAC"));
        // A long name wraps to a second line and is then cut short.
        f.workbench->importFile(f.temp /
                                (std::string(40, 'x') + " " + std::string(200, 'y') + ".wav"));
        settle();
        const QStringList lines = name->displayedLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[1].endsWith(QChar(0x2026)));
        f.workbench->importFile(f.sourceFile);

        f.workbench->importFile(f.sourceFile);
        f.workbench->start();
        settle();
        QVERIFY(!dropFiles(panel, {file("d.mp3")}));
        QCOMPARE(f.workbench->source(), f.sourceFile);
        QCOMPARE(f.workbench->error(), // refused, and not in silence
                 std::optional<std::string>("正在分轨，完成后才能换一首音乐；"
                                            "要接着处理它，请把它拖到处理记录里排队。"));
        QVERIFY(!child<QAbstractButton>(panel, "replace")->isEnabled());
        QVERIFY(child<QAbstractButton>(panel, "preview")->isEnabled());
    }

    void settingsPanelWritesAndFollowsTheFields()
    {
        test::ViewFixture f;
        ui::SettingsPanel panel(*f.workbench);
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &panel,
                         &ui::SettingsPanel::refresh);
        panel.show();
        QCOMPARE(panel.width(), ui::SettingsPanel::widthPx);
        auto* start = child<QAbstractButton>(panel, "start");
        QVERIFY2(!start->isEnabled(), "no source yet");

        child<QAbstractButton>(panel, "six")->click();
        settle();
        QCOMPARE(f.workbench->mode(), SeparationMode::six);
        QCOMPARE(child<QLabel>(panel, "modelFile")->text(), QString("htdemucs_6s.yaml"));
        QCOMPARE(child<QLabel>(panel, "modelFamily")->text(),
                 QString("Demucs v4 · 首次使用自动下载模型"));

        auto* format = child<QComboBox>(panel, "format");
        auto* quality = child<QComboBox>(panel, "quality");
        QCOMPARE(format->count(), 3);
        format->setCurrentIndex(1);
        emit format->textActivated(format->currentText());
        quality->setCurrentIndex(1);
        emit quality->activated(1);
        QCOMPARE(f.workbench->format(), std::string("FLAC"));
        QVERIFY(f.workbench->highQuality());

        f.workbench->importFile(f.sourceFile);
        settle();
        QVERIFY(start->isEnabled());
        QCOMPARE(child<QLabel>(panel, "hint")->text(), QString("本地模型推理 · 支持 Linux 桌面"));
        start->click();
        settle();
        QVERIFY(f.workbench->busy());
        QVERIFY(!shown(start) && shown(child(panel, "stop")));
        QVERIFY(!child<QAbstractButton>(panel, "vocal")->isEnabled());
        QVERIFY(!format->isEnabled());
        child<QAbstractButton>(panel, "stop")->click();
        QCOMPARE(f.platform.launcher.last().terminateRequests, 1);
        f.platform.launcher.exit(143);

        // Selecting a stored job shows how it was run.
        Job stored = *f.workbench->selectedJob();
        stored.mode = "four";
        stored.format = "MP3";
        stored.quality = "standard";
        f.workbench->select(stored);
        settle();
        QCOMPARE(format->currentText(), QString("MP3"));
        QCOMPARE(quality->currentIndex(), 0);
        QCOMPARE(child<QLabel>(panel, "modelFile")->text(), QString("htdemucs.yaml"));

        std::filesystem::remove(f.engineRoot() / ".venv/bin/python");
        panel.refresh();
        QVERIFY(!start->isEnabled());
        QCOMPARE(child<QLabel>(panel, "hint")->text(), QString("请先在左侧配置引擎文件夹"));
    }

    void resultsPanelAcrossIdleBusyStemsAndFailure()
    {
        test::ViewFixture f;
        QUrl revealed;
        ui::ResultsPanel panel(*f.workbench, [&](const QUrl& url) { revealed = url; });
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &panel,
                         &ui::ResultsPanel::refresh);
        panel.show();
        QVERIFY(shown(child(panel, "emptyState")));
        QCOMPARE(child<QLabel>(panel, "emptyMessage")->text(), QString("每条音轨，都有自己的声音"));
        QVERIFY(!shown(child(panel, "logBlock")) && !shown(child(panel, "exportAll")));
        QVERIFY2(!shown(child(panel, "shownJob")), "no job, no name");

        f.startJob();
        settle();
        QCOMPARE(child<QLabel>(panel, "shownJob")->text(),
                 QString("song.flac · 人声 / 伴奏 · WAV"));
        f.platform.clock.now += 83.4;
        test::writeFile(f.engineRoot() /
                            ("data/jobs/" + f.workbench->selectedJob()->id + "/process.log"),
                        "模型就绪\r 10%");
        f.platform.timers.fireAll();
        settle();
        QVERIFY(shown(child(panel, "progress")) && !shown(child(panel, "emptyState")));
        QCOMPARE(child<QLabel>(panel, "progressMessage")->text(),
                 QString("模型已就绪，正在分离音轨…"));
        QCOMPARE(child<QLabel>(panel, "progressTime")->text(),
                 QString("已用时 01:23 · 首次加载可能需要较长时间"));
        QVERIFY(shown(child(panel, "logBlock")));
        QVERIFY2(!shown(child(panel, "logView")), "collapsed at first");
        QVERIFY(shown(child(panel, "progressBar")));
        QCOMPARE(child<QLabel>(panel, "progressPercent")->text(), QString("10%"));
        f.platform.clock.now += 15;
        test::writeFile(f.engineRoot() /
                            ("data/jobs/" + f.workbench->selectedJob()->id + "/process.log"),
                        "模型就绪\r 10%\r 40%");
        f.platform.timers.fireAll();
        settle();
        QCOMPARE(child<QLabel>(panel, "progressPercent")->text(), QString("40% · 预计剩余 00:30"));
        QCOMPARE(child<QLabel>(panel, "progressTime")->text(),
                 QString("已用时 01:38 · 首次加载可能需要较长时间"));
        test::writeFile(f.engineRoot() /
                            ("data/jobs/" + f.workbench->selectedJob()->id + "/process.log"),
                        "模型就绪\r 10%\r 40%\n写入音轨\n");
        f.platform.timers.fireAll();
        settle();
        QVERIFY2(!shown(child(panel, "progressBar")), "no percentage on the last line: no bar");
        test::writeFile(f.engineRoot() /
                            ("data/jobs/" + f.workbench->selectedJob()->id + "/process.log"),
                        "模型就绪\r 10%");

        f.platform.launcher.exit(2);
        settle();
        QCOMPARE(child<QLabel>(panel, "emptyMessage")->text(),
                 QString("分轨失败，请展开运行日志查看原因。"));
        child<QAbstractButton>(panel, "logToggle")->click();
        QCOMPARE(child<QPlainTextEdit>(panel, "logView")->height(), 160);
        QCOMPARE(child<QPlainTextEdit>(panel, "logView")->toPlainText(), QString("模型就绪\n 10%"));
        QVERIFY(child<QPlainTextEdit>(panel, "logView")->isReadOnly());

        f.finishJobWithStems({"x_(Vocals).wav", "x_(Bass).flac"});
        f.platform.audio.durations = {{f.workbench->stems()[1].url, 3.0}};
        settle();
        QVERIFY(!shown(child(panel, "emptyState")) && !shown(child(panel, "progress")));
        const auto rows = panel.findChildren<QWidget*>("stemRow");
        QCOMPARE(rows.size(), 2);
        const auto exports = panel.findChildren<QAbstractButton*>("rowExport");
        QCOMPARE(exports[1]->toolTip(), QString("导出 人声"));
        QVERIFY(shown(child(panel, "exportAll")) && shown(child(panel, "reveal")));

        const auto playButtons = panel.findChildren<QAbstractButton*>("rowPlayButton");
        playButtons[1]->click();
        settle();
        const auto symbols = panel.findChildren<QLabel*>("rowPlay");
        QCOMPARE(symbolOf(symbols[0]), QString("play.fill"));
        QCOMPARE(symbolOf(symbols[1]), QString("pause.fill"));
        QVERIFY2(panel.findChildren<QWidget*>("stemRow") == rows, "rows are kept, not rebuilt");
        f.platform.audio.opened.back()->playing = false; // played to its end
        f.platform.timers.fireAll();
        settle();
        QCOMPARE(symbolOf(symbols[1]), QString("play.fill"));

        child<QAbstractButton>(panel, "reveal")->click();
        QCOMPARE(revealed, QUrl::fromLocalFile(
                               QString::fromStdString(f.workbench->activeFolder()->string())));
    }

    void historyListRowsAndRefresh()
    {
        test::ViewFixture f;
        ui::HistoryList list(*f.workbench);
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &list,
                         &ui::HistoryList::refresh);
        list.show();
        QCOMPARE(child<QLabel>(list, "emptyHistory")->text(),
                 QString("还没有处理记录，先导入一首音乐。 "));
        QVERIFY(shown(child(list, "emptyHistory")));

        f.finishJobWithStems({"x_(Vocals).wav"});
        f.platform.clock.now += 10;
        f.startJob();
        settle();
        ui::JobRowsView& rows = list.rows();
        QCOMPARE(rows.model()->rowCount(), 2);
        QVERIFY(!shown(child(list, "emptyHistory")));
        QVERIFY2(!rows.rowsOpen(), "rows wait while a job runs");
        QVERIFY(rowText(rows, 0).endsWith("处理中"));
        QVERIFY(rowText(rows, 1).endsWith("已完成"));
        clickRow(rows, 1);
        settle();
        QVERIFY2(f.workbench->busy(), "a click while busy opens nothing");

        f.platform.launcher.exit(1);
        settle();
        QVERIFY(rows.rowsOpen());
        clickRow(rows, 1);
        settle();
        QCOMPARE(f.workbench->message(), std::string("分轨完成，已生成 1 条独立音轨。"));
        QCOMPARE(f.workbench->stems().size(), 1u);

        // With the engine folder moved away the library is not empty, only
        // out of reach: the list says which.
        std::filesystem::rename(f.engineRoot(), f.temp / "Moved Engine");
        f.workbench->loadHistory(); // as opening the history does
        QTRY_VERIFY(shown(child(list, "emptyHistory")));
        QCOMPARE(child<QLabel>(list, "emptyHistory")->text(),
                 QString("找不到分轨引擎文件夹，处理记录暂时无法读取。"));
        std::filesystem::rename(f.temp / "Moved Engine", f.engineRoot());
        f.workbench->loadHistory();
        QTRY_VERIFY(!shown(child(list, "emptyHistory")));
    }

    void historyFindsDeletesAndQueues()
    {
        test::ViewFixture f;
        const std::pair<const char*, const char*> stored[] = {
            {"Café.mp3", "done"}, {"cafe live.wav", "error"}, {"Winter.mp3", "done"}};
        int n = 0;
        for (const auto& [name, status] : stored) {
            ++n;
            Job job = test::sampleJob("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa" + std::to_string(n), n);
            job.filename = name;
            job.status = status;
            test::storeJob(f.engineRoot(), job);
            test::writeFile(layout::inputFolder(f.engineRoot(), job.id) / name, "audio");
        }
        f.workbench->loadHistory();
        ui::HistoryList list(*f.workbench);
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &list,
                         &ui::HistoryList::refresh);
        list.resize(900, 700);
        list.show();
        f.workbench->setShowHistory(true);
        f.platform.background.runAll();
        settle();
        ui::JobRowsView& rows = list.rows();
        QCOMPARE(rows.model()->rowCount(), 3);
        QVERIFY(QRegularExpression("^占用 \\d+ B · 可用 [\\d.]+ [KMGTPE]?B$")
                    .match(child<QLabel>(list, "diskUsage")->text())
                    .hasMatch());

        auto* search = child<QLineEdit>(list, "historySearch");
        QTest::keyClicks(search, "CAFE");
        QCOMPARE(rows.model()->rowCount(), 2);
        child<QComboBox>(list, "statusFilter")->setCurrentText("失败");
        QCOMPARE(rows.model()->rowCount(), 1);
        QVERIFY(rowText(rows, 0).startsWith("cafe live.wav"));
        search->setText("winter");
        QVERIFY(shown(child(list, "noMatch")) && !shown(&rows));
        child<QComboBox>(list, "statusFilter")->setCurrentText("全部");
        search->clear();
        QCOMPARE(rows.model()->rowCount(), 3);

        // Ctrl-click chooses two rows, then the button deletes them.
        for (int row : {0, 1}) {
            const QRect rect = rows.visualRect(rows.model()->index(row, 0));
            QTest::mouseClick(rows.viewport(), Qt::LeftButton, Qt::ControlModifier,
                              rect.topLeft() + QPoint(40, 20));
        }
        QVERIFY2(f.workbench->showHistory(), "a chosen row does not open");
        QVERIFY(shown(child(list, "deleteChosen")));
        QString question;
        test::answerNextDialog([&](QWidget* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            question = box->text() + box->informativeText();
            for (QAbstractButton* button : box->buttons())
                if (button->text() == "删除")
                    button->click();
        });
        child<QAbstractButton>(list, "deleteChosen")->click();
        settle();
        QVERIFY2(question.contains("“Winter.mp3” 和另外 1 条") && question.contains("回收站"),
                 qPrintable(question));
        QCOMPARE(f.platform.trash.moved.size(), 2u);
        QCOMPARE(rows.model()->rowCount(), 1);

        // The Delete key asks too; cancelling keeps the job.
        rows.setFocus(Qt::TabFocusReason);
        test::answerNextDialog([](QWidget* dialog) {
            for (QAbstractButton* button : qobject_cast<QMessageBox*>(dialog)->buttons())
                if (button->text() == "取消")
                    button->click();
        });
        QTest::keyClick(&rows, Qt::Key_Delete);
        settle();
        QCOMPARE(f.platform.trash.moved.size(), 2u);
        QCOMPARE(rows.model()->rowCount(), 1);

        // Songs dropped on the page join the queue: one runs, the next waits
        // at the top of the list.
        test::writeFile(f.temp / "one.mp3", "audio");
        test::writeFile(f.temp / "two.mp3", "audio");
        QVERIFY(dropFiles(
            list, {QUrl::fromLocalFile(QString::fromStdString((f.temp / "one.mp3").string())),
                   QUrl::fromLocalFile(QString::fromStdString((f.temp / "two.mp3").string()))}));
        settle();
        QCOMPARE(f.platform.launcher.launches.size(), 1u);
        QCOMPARE(f.workbench->queue().size(), 1u);
        f.workbench->setShowHistory(true);
        settle();
        QCOMPARE(rows.model()->rowCount(), 3);
        QVERIFY(rowText(rows, 0).startsWith("two.mp3") && rowText(rows, 0).endsWith("排队中"));
    }

    // A damaged record's time is shown as a dash, never as a wrapped date.
    void historyDatesOutsideTheCalendarShowADash()
    {
        test::ViewFixture f;
        test::storeJob(f.engineRoot(), test::sampleJob("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa1", 1e300));
        test::storeJob(f.engineRoot(),
                       test::sampleJob("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa2", 1733500000));
        f.workbench->loadHistory();
        ui::HistoryList list(*f.workbench);
        list.refresh();
        QCOMPARE(list.rows().model()->rowCount(), 2);
        QCOMPARE(rowText(list.rows(), 0).section("，", 1, 1), QString("—"));
        QCOMPARE(rowText(list.rows(), 1).section("，", 1, 1),
                 QLocale::system().toString(QDate(2024, 12, 6), QLocale::ShortFormat));
    }

    void playbackBarRangeAndSeek()
    {
        test::ViewFixture f;
        ui::PlaybackBar bar(*f.workbench);
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &bar,
                         &ui::PlaybackBar::refresh);
        const auto clip = f.temp / "clip_(Drums).wav";
        f.platform.audio.durations = {{clip, 0.6}};
        f.workbench->play(clip);
        settle();
        auto* slider = child<QSlider>(bar, "slider");
        QCOMPARE(slider->maximum(), 1 * ui::PlaybackBar::stepsPerSecond);
        QCOMPARE(child<QLabel>(bar, "length")->text(), QString("00:00"));
        QCOMPARE(child<QLabel>(bar, "playingName")->text(), QString("clip_(Drums).wav"));

        slider->setValue(500); // the user drags
        QCOMPARE(f.workbench->playbackTime(), 0.5);
        QCOMPARE(f.platform.audio.opened.back()->position, 0.5);

        f.workbench->play(clip); // pause
        settle();
        QCOMPARE(child<QLabel>(bar, "playingName")->text(), QString("已暂停"));

        // A long name is cut in the middle: which stem it is stays in view.
        const auto longClip = f.temp / (std::string(40, 'a') + " live at the hall_(Drums).wav");
        f.platform.audio.durations[longClip] = 0.6;
        bar.resize(500, 60);
        bar.show();
        f.workbench->play(longClip);
        settle();
        const QString cut = child<QLabel>(bar, "playingName")->text();
        QVERIFY2(cut.contains("…") && cut.endsWith("(Drums).wav"), qPrintable(cut));
        child<QAbstractButton>(bar, "stopPlayback")->click();
        QCOMPARE(f.workbench->playbackDuration(), 0.0);
    }

    // A click on the track jumps there; keys move in steps a listener can use.
    void playbackBarTimelineClicksAndKeys()
    {
        test::ViewFixture f;
        ui::PlaybackBar bar(*f.workbench);
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &bar,
                         &ui::PlaybackBar::refresh);
        const auto song = f.temp / "song_(Vocals).wav";
        f.platform.audio.durations = {{song, 100.0}};
        f.workbench->play(song);
        bar.resize(900, 60);
        bar.show();
        settle();
        auto* slider = child<QSlider>(bar, "slider");
        QTest::mouseClick(slider, Qt::LeftButton, {},
                          QPoint(slider->width() * 3 / 4, slider->height() / 2));
        QVERIFY2(std::abs(f.workbench->playbackTime() - 75.0) < 3.0,
                 std::to_string(f.workbench->playbackTime()).c_str());

        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(f.workbench->playbackTime(), 0.0);
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(f.workbench->playbackTime(), 5.0);
        settle();
        QCOMPARE(QAccessible::queryAccessibleInterface(slider)->text(QAccessible::Description),
                 QString("00:05 / 01:40")); // what a screen reader hears, not 5000 steps
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(f.workbench->playbackTime(), 35.0);
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(f.workbench->playbackTime(), 100.0);
    }

    // At the minimum size, long names are cut: the page never scrolls sideways
    // and every row keeps its status and buttons in view.
    void longNamesNeverWidenThePage()
    {
        test::ViewFixture f;
        QString longStem; // with "_(Vocals).wav", 253 of the 255 bytes a name may have
        for (int i = 0; i < 80; ++i)
            longStem += "长";
        f.finishJobWithStems({(longStem + "_(Vocals).wav").toUtf8().constData(), "b_(Drums).wav",
                              "b_(Bass).wav", "b_(Other).wav"});
        Job longJob = test::sampleJob("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa7", 5);
        longJob.filename = (longStem + longStem + ".flac").toStdString();
        test::storeJob(f.engineRoot(), longJob);
        f.workbench->loadHistory();
        f.workbench->setShowHistory(true);

        const auto shownView = test::showWorkspace(f, {960, 700});
        ui::WorkspaceView& view = *shownView;
        auto* scroll = child<QScrollArea>(view, "pageScroll");
        const QRect viewport = scroll->viewport()->rect();
        auto inView = [&](const QWidget* widget) {
            if (!widget)
                return false;
            const QRect area(widget->mapTo(scroll->viewport(), QPoint(0, 0)), widget->size());
            return area.left() >= viewport.left() && area.right() <= viewport.right();
        };
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        auto* rows = child<ui::JobRowsView>(view, "jobRows");
        QCOMPARE(rows->model()->rowCount(), 2);
        QVERIFY(inView(rows));
        for (int row = 0; row < 2; ++row) // the status is drawn at the row's right end
            QVERIFY(rows->viewport()->rect().contains(
                rows->visualRect(rows->model()->index(row, 0))
                    .adjusted(0, 0, 0, -ui::JobRowDelegate::spacing)));
        QVERIFY(inView(child(view, "refresh")));

        f.workbench->setShowHistory(false);
        settle();
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        // Every panel, the mixer with its five presets and practice row
        // included, fits the smallest page without being squeezed.
        QVERIFY2(scroll->widget()->minimumSizeHint().width() <= scroll->viewport()->width(),
                 qPrintable(QString("page needs %1, has %2")
                                .arg(scroll->widget()->minimumSizeHint().width())
                                .arg(scroll->viewport()->width())));
        QVERIFY(inView(child(view, "rowExport")));
        QVERIFY(inView(child(view, "start")));
        QVERIFY(child(view, "mixerPanel")->isVisible());
        for (const QWidget* value : view.findChildren<QLabel*>("levelValue"))
            QVERIFY(inView(value));
        // ... and its timelines and sliders keep room enough to aim at.
        auto atLeast = [&](const char* name, int width) {
            const auto widgets = view.findChildren<QWidget*>(name);
            QVERIFY(!widgets.isEmpty());
            for (const QWidget* widget : widgets)
                QVERIFY2(widget->width() >= width,
                         qPrintable(QString("%1 is %2 wide").arg(name).arg(widget->width())));
        };
        atLeast("mixTimeline", 250);
        atLeast("level", 100);
        atLeast("speed", 120);
        atLeast("pitch", 120);
        auto* log = child<QPlainTextEdit>(view, "logView");
        QCOMPARE(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    }

    // An empty panel ends at its padding under the empty text; the footer sits
    // 25 points under the content, not at the bottom of the window.
    void emptyPanelsAndTheFooterLeaveNoExtraSpace()
    {
        test::ViewFixture f;
        auto gapUnder = [](QWidget& panel, const char* last) {
            panel.resize(700, 10);
            panel.adjustSize();
            panel.show();
            settle();
            const QWidget* widget = child(panel, last);
            return panel.height() - widget->mapTo(&panel, QPoint(0, widget->height())).y();
        };
        ui::ResultsPanel results(*f.workbench, {});
        QCOMPARE(gapUnder(results, "emptyState"), 21);
        ui::HistoryList history(*f.workbench);
        QCOMPARE(gapUnder(history, "emptyHistory"), 21);

        const auto shownView = test::showWorkspace(f, {1240, 1400});
        ui::WorkspaceView& view = *shownView;
        const QWidget* workspace = child(view, "workspace");
        const QWidget* footer = child(view, "footer");
        QCOMPARE(footer->mapTo(&view, QPoint(0, 0)).y(),
                 workspace->mapTo(&view, QPoint(0, workspace->height())).y() + 25);
    }

    // Chinese in the log falls back to a regular-weight CJK face, not a bold one.
    void logDrawsChineseAtRegularWeight()
    {
        test::ViewFixture f;
        ui::ResultsPanel results(*f.workbench, {});
        const QFont logFont = child<QPlainTextEdit>(results, "logView")->font();
        auto ink = [](QFont font) {
            QImage image(400, 40, QImage::Format_Grayscale8);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(4, 30, "模型就绪，正在分离");
            painter.end();
            long dark = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    dark += 255 - qGray(image.pixel(x, y));
            return dark;
        };
        QFont regular("Noto Sans Mono CJK SC");
        regular.setPixelSize(logFont.pixelSize());
        QFont bold = regular;
        bold.setWeight(QFont::Bold);
        const long shown = ink(logFont);
        QVERIFY2(std::abs(shown - ink(regular)) < std::abs(shown - ink(bold)),
                 qPrintable(QString("%1 %2 %3").arg(shown).arg(ink(regular)).arg(ink(bold))));
    }

    // Tab moves in reading order, and wherever focus lands a mint ring shows it.
    void keyboardFocusIsVisibleAndInReadingOrder()
    {
        test::ViewFixture f;
        f.finishJobWithStems({"a_(Vocals).wav", "a_(Drums).wav"});
        const auto stem = f.workbench->stems().front().url;
        f.platform.audio.durations = {{stem, 10}};
        f.workbench->play(stem);
        const auto shownView = test::showWorkspace(f, {1240, 860});
        ui::WorkspaceView& view = *shownView;
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));

        const QList<QWidget*> chain = focusChain(view);
        QStringList names;
        for (const QWidget* w : chain)
            names << w->objectName();
        auto at = [&](const char* name) { return names.indexOf(name); };
        QVERIFY2(!names.contains("pageScroll"), qPrintable(names.join(' ')));
        QVERIFY2(at("engineSettings") < at("preview") && at("replace") < at("vocal") &&
                     at("six") < at("format") && at("quality") < at("start") &&
                     at("start") < at("exportAll") && at("exportAll") < at("rowPlayButton") &&
                     names.lastIndexOf("rowExport") < at("reveal") &&
                     at("reveal") < at("mixPlay") && at("resetPitch") < at("preset") &&
                     names.lastIndexOf("preset") < at("mute") &&
                     names.lastIndexOf("level") < at("exportWithTempo") &&
                     at("exportWithTempo") < at("exportMix") && at("exportMix") < at("slider") &&
                     at("slider") < at("stopPlayback"),
                 qPrintable(names.join(' ')));

        const QColor mint = ui::theme::mint();
        for (QWidget* w : chain) {
            w->clearFocus(); // activating the window may have focused it already
            settle();
            const QImage before = w->grab().toImage();
            w->setFocus(Qt::TabFocusReason);
            settle();
            const QImage after = w->grab().toImage();
            int mintPixels = 0;
            for (int y = 0; y < after.height(); ++y)
                for (int x = 0; x < after.width(); ++x) {
                    const QColor c = after.pixelColor(x, y);
                    if (std::abs(c.red() - mint.red()) < 24 &&
                        std::abs(c.green() - mint.green()) < 24 &&
                        std::abs(c.blue() - mint.blue()) < 24 && before.pixelColor(x, y) != c)
                        ++mintPixels;
                }
            QVERIFY2(mintPixels > 8, qPrintable(w->objectName()));
        }

        // Focus a click gives shows no ring: a mouse user sees none.
        QWidget* card = child(view, "four");
        card->clearFocus();
        settle();
        const QImage unfocused = card->grab().toImage();
        card->setFocus(Qt::MouseFocusReason);
        settle();
        QCOMPARE(card->grab().toImage(), unfocused);
    }

    // Six stems offer leaving out the guitar or the piano too; the preset
    // row starts where it did whichever job was shown before.
    void presetsFollowTheStemsAndKeepTheirPlace()
    {
        test::ViewFixture f;
        f.finishJobWithStems({"a_(Vocals).wav", "a_(Instrumental).wav"});
        const auto shownView = test::showWorkspace(f, {1240, 1400});
        QWidget* mixer = child(*shownView, "mixerPanel");
        auto presets = [&] {
            QStringList labels;
            for (const auto* button : mixer->findChildren<QToolButton*>("preset"))
                labels << button->text();
            return labels;
        };
        // Built by a refresh, shown by a queued call, then laid out.
        auto laidOut = [] {
            for (int pass = 0; pass < 3; ++pass)
                settle();
        };
        laidOut();
        const int start = mixer->findChildren<QToolButton*>("preset")[0]->x();
        f.finishJobWithStems({"b_(Vocals).wav", "b_(Drums).wav", "b_(Bass).wav", "b_(Guitar).wav",
                              "b_(Piano).wav", "b_(Other).wav"});
        settle();
        QCOMPARE(presets(), QStringList({"全部", "伴奏", "清唱", "去掉鼓", "去掉贝斯", "去掉吉他",
                                         "去掉钢琴"}));
        f.finishJobWithStems({"c_(Vocals).wav", "c_(Instrumental).wav"});
        laidOut();
        QCOMPARE(presets(), QStringList({"全部", "伴奏", "清唱"}));
        QCOMPARE(mixer->findChildren<QToolButton*>("preset")[0]->x(), start);
    }

    // The mixer card: there for a finished job of two stems or more while no
    // job runs; its presets, toggles and sliders set the strips, which it shows.
    void mixerSetsTheStripsAndShowsThem()
    {
        test::ViewFixture f;
        f.finishJobWithStems({"m_(Vocals).wav"});
        const auto shownView = test::showWorkspace(f, {1240, 1400});
        ui::WorkspaceView& view = *shownView;
        QWidget* mixer = child(view, "mixerPanel");
        QVERIFY(!mixer->isVisible()); // one stem is no mix

        f.finishJobWithStems({"n_(Bass).wav", "n_(Drums).wav", "n_(Other).wav", "n_(Vocals).wav"});
        settle();
        QVERIFY(mixer->isVisible());
        QCOMPARE(mixer->findChildren<QWidget*>("mixStrip").size(), 4);
        QStringList presets;
        for (const auto* button : mixer->findChildren<QToolButton*>("preset"))
            presets << button->text();
        QCOMPARE(presets, QStringList({"全部", "伴奏", "清唱", "去掉鼓", "去掉贝斯"}));
        // Its length shows before it is first played, once the overviews tell it.
        for (auto& [file, ready] : f.platform.waveforms.requests)
            ready({std::vector<float>(400, 0.5f), 181.5});
        settle();
        QCOMPARE(child<QLabel>(*mixer, "mixTime")->text(), QString("00:00 / 03:01"));

        auto checkedPresets = [&] {
            QStringList checked;
            for (const auto* button : mixer->findChildren<QToolButton*>("preset"))
                if (button->isChecked())
                    checked << button->text();
            return checked;
        };
        QCOMPARE(checkedPresets(), QStringList({"全部"}));
        mixer->findChildren<QToolButton*>("preset")[1]->click(); // 伴奏
        settle();
        QCOMPARE(checkedPresets(), QStringList({"伴奏"}));       // the one in use reads as checked
        mixer->findChildren<QToolButton*>("preset")[1]->click(); // again: still in use
        settle();
        QCOMPARE(checkedPresets(), QStringList({"伴奏"}));
        QVERIFY(f.workbench->mixStrips()[3].muted);
        QVERIFY(mixer->findChildren<QToolButton*>("mute")[3]->isChecked());

        mixer->findChildren<QToolButton*>("solo")[0]->click();
        settle();
        QVERIFY(f.workbench->mixStrips()[0].soloed);
        auto* level = mixer->findChildren<QSlider*>("level")[1];
        level->setValue(-125);
        settle();
        QCOMPARE(f.workbench->mixStrips()[1].levelDb, -12.5);
        QCOMPARE(mixer->findChildren<QLabel*>("levelValue")[1]->text(), QString("-12.5 dB"));
        QVERIFY(checkedPresets().isEmpty()); // levels of the user's own are no preset
        // A screen reader hears each slider's value as it is shown, not in steps.
        auto spoken = [](QWidget* widget) {
            return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Description);
        };
        QCOMPARE(spoken(level), QString("-12.5 dB"));
        child<QSlider>(*mixer, "speed")->setValue(75);
        child<QSlider>(*mixer, "pitch")->setValue(3);
        settle();
        QCOMPARE(spoken(child(*mixer, "speed")), QString("75%"));
        QCOMPARE(spoken(child(*mixer, "pitch")), QString("+3 半音"));
        QTest::mouseDClick(level, Qt::LeftButton);
        settle();
        QCOMPARE(f.workbench->mixStrips()[1].levelDb, 0.0);
        level->setValue(level->minimum());
        settle();
        QCOMPARE(mixer->findChildren<QLabel*>("levelValue")[1]->text(), QString("静音"));

        // Every stem row and strip drags its own file out; the mix, once written, too.
        auto draggedFile = [](QWidget* widget) {
            const auto data = ui::fileDragData(*widget);
            return data && data->urls().size() == 1 ? data->urls()[0] : QUrl();
        };
        const auto strips = mixer->findChildren<QWidget*>("mixStrip");
        const auto rows = view.findChildren<QWidget*>("stemRow");
        QCOMPARE(rows.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QUrl file = QUrl::fromLocalFile(QString::fromStdString(
                f.workbench->stems()[static_cast<std::size_t>(i)].url.string()));
            QCOMPARE(draggedFile(strips[i]), file);
            QCOMPARE(draggedFile(rows[i]), file);
        }
        auto* status = child<QLabel>(*mixer, "mixExportStatus");
        QVERIFY2(!ui::fileDragData(*status), "nothing written yet, nothing to drag");
        f.platform.dialogs.saveAnswers.push_back(f.temp / "n · 混音.flac");
        child<QAbstractButton>(*mixer, "exportMix")->click();
        settle();
        QVERIFY(shown(child(*mixer, "cancelMixExport")) && !shown(child(*mixer, "exportMix")));
        f.platform.background.runAll();
        settle();
        QCOMPARE(status->text(), QString("已导出 n · 混音.flac"));
        QCOMPARE(draggedFile(status),
                 QUrl::fromLocalFile(QString::fromStdString((f.temp / "n · 混音.flac").string())));
        QVERIFY(shown(child(*mixer, "exportMix")));

        // A drag across any strip's timeline selects the loop; a click outside it clears it.
        for (const Stem& stem : f.workbench->stems())
            f.platform.audio.durations[stem.url] = 100.0;
        child<QAbstractButton>(*mixer, "mixPlay")->click();
        settle();
        QWidget* timeline = strips[2]->findChildren<QWidget*>().constFirst();
        for (QWidget* candidate : strips[2]->findChildren<QWidget*>())
            if (candidate->height() == 24 && candidate->width() >= 80)
                timeline = candidate;
        const int w = timeline->width();
        QTest::mousePress(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(w / 10, 12));
        QTest::mouseMove(timeline, QPoint(w / 2, 12));
        QTest::mouseRelease(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(w / 2, 12));
        settle();
        QVERIFY(f.workbench->loop());
        QVERIFY(std::abs(f.workbench->loop()->start - 10) < 1 &&
                std::abs(f.workbench->loop()->end - 50) < 1);
        QVERIFY(shown(child(*mixer, "loopText")) && shown(child(*mixer, "clearLoop")));
        QCOMPARE(child<QLabel>(*mixer, "loopText")->text(),
                 "循环 " + QString::fromStdString(display::time(f.workbench->loop()->start)) + "–" +
                     QString::fromStdString(display::time(f.workbench->loop()->end)));
        QCOMPARE(f.platform.audio.opened.back()->loop, f.workbench->loop());
        QTest::mouseClick(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(w * 3 / 10, 12));
        settle();
        QVERIFY2(f.workbench->loop(), "a click inside seeks and keeps the loop");
        QTest::mouseClick(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(w * 9 / 10, 12));
        settle();
        QVERIFY(!f.workbench->loop());
        QVERIFY(std::abs(f.workbench->playbackTime() - 90) < 1);
        QVERIFY(!shown(child(*mixer, "loopText")));

        child<QSlider>(*mixer, "speed")->setValue(70);
        child<QSlider>(*mixer, "pitch")->setValue(-2);
        settle();
        QCOMPARE(f.platform.audio.opened.back()->tempo, (mixer::Tempo{0.7, -2}));
        QCOMPARE(child<QLabel>(*mixer, "speedValue")->text(), QString("70%"));
        QCOMPARE(child<QLabel>(*mixer, "pitchValue")->text(), QString("-2 半音"));
        child<QAbstractButton>(*mixer, "resetPitch")->click();
        settle();
        QCOMPARE(f.workbench->tempo(), (mixer::Tempo{0.7, 0}));
        QCOMPARE(child<QSlider>(*mixer, "pitch")->value(), 0);

        f.startJob();
        settle();
        QVERIFY2(!mixer->isVisible(), "hidden while a job runs");
    }

    // While a job runs, the controls it locks are drawn dimmed, as the start
    // button is, and come back when it ends.
    void disabledControlsLookDisabled()
    {
        test::ViewFixture f;
        f.finishJobWithStems({"a_(Vocals).wav"});
        const auto shownView = test::showWorkspace(f, {1240, 860});
        ui::WorkspaceView& view = *shownView;
        auto brightness = [](QWidget* widget) {
            const QImage image = widget->grab().toImage();
            qint64 sum = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    sum += qGray(image.pixel(x, y));
            return sum;
        };
        const char* locked[] = {"four", "replace", "engineSettings"};
        QList<qint64> enabled;
        for (const char* name : locked)
            enabled << brightness(child(view, name));
        f.startJob();
        settle();
        for (int i = 0; i < 3; ++i) {
            QWidget* control = child(view, locked[i]);
            QVERIFY2(!control->isEnabled(), locked[i]);
            QVERIFY2(brightness(control) < enabled[i] * 0.8, locked[i]);
        }
        f.platform.launcher.exit(1);
        settle();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(brightness(child(view, locked[i])), enabled[i]);
    }

    // What a screen reader is told: every control has a name in words (no
    // icon glyphs), rows say what they act on, file names are exposed.
    void screenReadersGetNamesForEveryControl()
    {
        test::ViewFixture f;
        f.finishJobWithStems({"a_(Vocals).wav"});
        const auto stem = f.workbench->stems().front().url;
        f.platform.audio.durations = {{stem, 10}, {f.sourceFile, 10}};
        f.workbench->importFile(f.sourceFile);
        f.workbench->play(stem);
        const auto shownView = test::showWorkspace(f, {1240, 860});
        ui::WorkspaceView& view = *shownView;
        auto name = [](QWidget* widget) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            return accessible ? accessible->text(QAccessible::Name) : QString();
        };
        auto words = [](const QString& text) {
            for (const QChar c : text)
                if (c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF)
                    return false;
            return !text.trimmed().isEmpty();
        };
        auto checkChain = [&] {
            for (QWidget* w : focusChain(view))
                QVERIFY2(words(name(w)), qPrintable(w->objectName() + ": " + name(w)));
        };
        checkChain();
        QCOMPARE(name(child(view, "rowPlayButton")), QString("暂停 人声"));
        QCOMPARE(name(child(view, "rowExport")), QString("导出 人声"));
        QCOMPARE(name(child(view, "preview")), QString("试听 song.flac"));
        QCOMPARE(name(child(view, "slider")), QString("播放位置"));
        QCOMPARE(name(child(view, "fileName")), QString("song.flac"));

        // A symbol reads as nothing rather than as a private-use character,
        // anywhere in the page.
        std::function<void(QAccessibleInterface*)> noGlyphs = [&](QAccessibleInterface* node) {
            const QString text = node->text(QAccessible::Name);
            QVERIFY2(
                words(text) || text.isEmpty(),
                qPrintable("U+" + QString::number(text.isEmpty() ? 0 : text[0].unicode(), 16)));
            for (int i = 0; i < node->childCount(); ++i)
                noGlyphs(node->child(i));
        };
        noGlyphs(QAccessible::queryAccessibleInterface(&view));
        // The mode cards are one choice of three, and say which is chosen.
        QAccessibleInterface* vocal = QAccessible::queryAccessibleInterface(child(view, "vocal"));
        QAccessibleInterface* four = QAccessible::queryAccessibleInterface(child(view, "four"));
        QCOMPARE(vocal->role(), QAccessible::RadioButton);
        QVERIFY(vocal->state().checked && !four->state().checked);
        f.workbench->setMode(SeparationMode::four);
        settle();
        QVERIFY(four->state().checked && !vocal->state().checked);
        QTest::keyClick(child(view, "vocal"), Qt::Key_Space); // chosen by the keyboard
        settle();
        QCOMPARE(f.workbench->mode(), SeparationMode::vocal);
        QVERIFY(vocal->state().checked && !four->state().checked);

        f.workbench->setShowHistory(true);
        settle();
        checkChain();
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(child(view, "jobRows"));
        QVERIFY(list && list->childCount() >= 1);
        const QString row = list->child(0)->text(QAccessible::Name);
        QVERIFY2(row.contains("song.flac") && row.contains("已完成") &&
                     row.contains(QLocale::system().toString(
                         QDateTime::fromSecsSinceEpoch(
                             static_cast<qint64>(f.workbench->jobs()[0].created))
                             .date(),
                         QLocale::ShortFormat)),
                 qPrintable(row));
    }

    void workspaceShowsThePlaybackBarOnlyWhileAFileIsLoaded()
    {
        test::ViewFixture f;
        ui::WorkspaceView view(*f.workbench, {});
        QObject::connect(f.bridge.get(), &ui::WorkbenchBridge::changed, &view,
                         &ui::WorkspaceView::refresh);
        view.show();
        QVERIFY(!shown(child(view, "playbackBar")));
        f.platform.audio.durations = {{f.sourceFile, 12.0}};
        f.workbench->play(f.sourceFile);
        settle();
        QVERIFY(shown(child(view, "playbackBar")));
        f.workbench->setShowHistory(true);
        settle();
        QVERIFY(shown(child(view, "historyList")) && !shown(child(view, "sourcePanel")));
    }
};

TONFIELD_VIEW_TEST_MAIN(PanelsTest)

#include "panels_test.moc"
