// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/history_list.hpp"
#include "ui/job_rows.hpp"
#include "ui/playback_bar.hpp"
#include "ui/results_panel.hpp"
#include "ui/theme.hpp"
#include "ui/workspace_view.hpp"

#include "fakes/sample_job.hpp"
#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QAccessible>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <functional>

using namespace tonfield;
using test::child;
using test::settle;
using test::settleLayout;
using test::shown;

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

class WorkspaceTest final : public QObject {
    Q_OBJECT

private slots:
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
        settleLayout(); // the failed job's log makes the page taller
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
        const auto shownWorkspaceView =
            test::showPanel<ui::WorkspaceView>(f, std::function<void(const QUrl&)>());
        ui::WorkspaceView& view = *shownWorkspaceView;
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

TONFIELD_VIEW_TEST_MAIN(WorkspaceTest)

#include "workspace_test.moc"
