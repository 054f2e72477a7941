// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/history_list.hpp"

#include "ui/job_rows.hpp"

#include "fakes/sample_job.hpp"
#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>

using namespace tonfield;
using test::child;
using test::dropFiles;
using test::settle;
using test::shown;

namespace {

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

class HistoryListTest final : public QObject {
    Q_OBJECT

private slots:
    void historyListRowsAndRefresh()
    {
        test::ViewFixture f;
        const auto shownHistoryList = test::showPanel<ui::HistoryList>(f);
        ui::HistoryList& list = *shownHistoryList;
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
        const auto shownHistoryList = test::showPanel<ui::HistoryList>(f);
        ui::HistoryList& list = *shownHistoryList;
        list.resize(900, 700);
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
        QCOMPARE(f.workbench->jobQueue().queue().size(), 1u);
        f.workbench->setShowHistory(true);
        settle();
        QCOMPARE(rows.model()->rowCount(), 3);
        QVERIFY(rowText(rows, 0).startsWith("two.mp3") && rowText(rows, 0).endsWith("排队中"));
    }

    // The rows are made when the list is shown, from the history as it is
    // then: jobs found while it was hidden are there at once.
    void aHiddenListShowsTheHistoryOfTheMomentItIsShown()
    {
        test::ViewFixture f;
        test::storeJob(f.engineRoot(),
                       test::sampleJob("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa1", 1733500000));
        f.workbench->loadHistory();
        const auto shownHistoryList = test::showPanel<ui::HistoryList>(f);
        ui::HistoryList& list = *shownHistoryList;
        QCOMPARE(list.rows().model()->rowCount(), 1);
        list.hide();
        test::storeJob(f.engineRoot(),
                       test::sampleJob("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa2", 1733600000));
        f.workbench->loadHistory();
        settle();
        list.show();
        QCOMPARE(list.rows().model()->rowCount(), 2);
        QVERIFY(!child(list, "emptyHistory")->isVisible());
    }

    // A damaged record's time is shown as a dash, never as a wrapped date.
    void historyDatesOutsideTheCalendarShowADash()
    {
        test::ViewFixture f;
        test::storeJob(f.engineRoot(), test::sampleJob("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa1", 1e300));
        test::storeJob(f.engineRoot(),
                       test::sampleJob("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa2", 1733500000));
        f.workbench->loadHistory();
        const auto shownHistoryList = test::showPanel<ui::HistoryList>(f);
        ui::HistoryList& list = *shownHistoryList;
        QCOMPARE(list.rows().model()->rowCount(), 2);
        QCOMPARE(rowText(list.rows(), 0).section("，", 1, 1), QString("—"));
        QCOMPARE(rowText(list.rows(), 1).section("，", 1, 1),
                 QLocale::system().toString(QDate(2024, 12, 6), QLocale::ShortFormat));
    }
};

TONFIELD_VIEW_TEST_MAIN(HistoryListTest)

#include "history_list_test.moc"
