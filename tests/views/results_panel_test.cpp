// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/results_panel.hpp"

#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QPlainTextEdit>
#include <QTest>

using namespace tonfield;
using test::child;
using test::settle;
using test::shown;

namespace {

QString symbolOf(const QLabel* label)
{
    return label->property("symbol").toString();
}

} // namespace

class ResultsPanelTest final : public QObject {
    Q_OBJECT

private slots:
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
};

TONFIELD_VIEW_TEST_MAIN(ResultsPanelTest)

#include "results_panel_test.moc"
