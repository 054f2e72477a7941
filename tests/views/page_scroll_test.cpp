// SPDX-License-Identifier: GPL-3.0-or-later
// The scrolling page: the mouse wheel over the workspace scrolls it (a slider
// or a picker changes only when it has the keyboard focus), and the history
// opens at its top.

#include "ui/wheel_guard.hpp"
#include "ui/workspace_view.hpp"

#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

namespace {

using namespace tonfield;

// One notch of the wheel, downwards, over the middle of a widget.
void turnTheWheelOver(QWidget* widget)
{
    const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent notch(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &notch);
}

QString valueOf(QWidget* control)
{
    if (auto* slider = qobject_cast<QAbstractSlider*>(control))
        return QString::number(slider->value());
    return static_cast<QComboBox*>(control)->currentText();
}

} // namespace

class PageScrollTest final : public QObject {
    Q_OBJECT

private slots:
    void theWheelScrollsThePageUnlessAControlHasTheFocus()
    {
        ui::WheelGuard guard(*qApp);
        test::ViewFixture f;
        f.finishJobWithStems({"a_(Vocals).wav", "a_(Drums).wav", "a_(Bass).wav"});
        const auto stem = f.workbench->stems().front().url;
        f.platform.audio.durations = {{stem, 10}};
        f.workbench->play(stem); // the playback bar's slider too
        const auto shown = test::showWorkspace(f, {1240, 860});
        ui::WorkspaceView& view = *shown;
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));

        QList<QWidget*> controls;
        for (QAbstractSlider* slider : view.findChildren<QAbstractSlider*>())
            if (!qobject_cast<QScrollBar*>(slider))
                controls << slider;
        for (QComboBox* picker : view.findChildren<QComboBox*>())
            controls << picker;
        QVERIFY(controls.size() >= 6); // levels, speed, pitch, format, quality, position
        auto* page = view.findChild<QScrollArea*>("pageScroll");
        QVERIFY(page);
        int turned = 0;
        for (QWidget* control : controls) {
            if (!control->isVisible())
                continue;
            page->ensureWidgetVisible(control);
            view.setFocus();
            const QString before = valueOf(control);
            const int scrolled = page->verticalScrollBar()->value();
            turnTheWheelOver(control);
            QCOMPARE(valueOf(control), before);
            if (page->isAncestorOf(control) && scrolled < page->verticalScrollBar()->maximum())
                QVERIFY2(page->verticalScrollBar()->value() > scrolled,
                         qPrintable(control->objectName() + " kept the wheel from the page"));
            ++turned;
        }
        QVERIFY(turned >= 6);

        // Focused (clicked, dragged or tabbed to), a control takes the wheel.
        auto* speed = view.findChild<QAbstractSlider*>("speed");
        QVERIFY(speed);
        page->ensureWidgetVisible(speed);
        speed->setFocus();
        QVERIFY(speed->hasFocus());
        const int before = speed->value();
        turnTheWheelOver(speed);
        QVERIFY(speed->value() != before);
    }

    // Opened from a workspace scrolled down to the mixer, the history shows
    // its top, search box and all; the workspace comes back where it was.
    void theHistoryOpensAtItsTopAndTheWorkspaceComesBackWhereItWas()
    {
        test::ViewFixture f;
        for (int i = 0; i < 30; ++i)
            f.finishJobWithStems({"a_(Vocals).wav", "a_(Drums).wav", "a_(Bass).wav",
                                  "a_(Guitar).wav", "a_(Piano).wav", "a_(Other).wav"});
        const auto view = test::showWorkspace(f, {960, 700});
        auto* page = view->findChild<QScrollArea*>("pageScroll");
        QScrollBar* scrolled = page->verticalScrollBar();
        QVERIFY(scrolled->maximum() > 200);
        scrolled->setValue(scrolled->maximum());
        const int workspaceAt = scrolled->value();

        f.workbench->setShowHistory(true);
        test::settle();
        QCOMPARE(scrolled->value(), 0);
        QVERIFY(scrolled->maximum() > 0); // thirty rows: the page does scroll

        f.workbench->setShowHistory(false);
        QTRY_COMPARE(scrolled->value(), workspaceAt);
    }

    // A job opened from the history, by Enter or by a click, while the
    // results are empty (as at start): the focus goes on in its results,
    // never to the sidebar (hiding the history would hand it there as a Tab
    // does, with its ring showing to a mouse user).
    void aJobOpenedFromTheHistoryTakesTheFocusToItsResults()
    {
        for (const bool byKeyboard : {true, false}) {
            test::ViewFixture f;
            f.finishJobWithStems({"a_(Vocals).wav", "a_(Drums).wav"});
            f.finishJobWithStems({"b_(Vocals).wav"});
            f.workbench->storedJobs().deleteJobs({f.workbench->selectedJob()->id});
            const auto shown = test::showWorkspace(f, {1240, 860});
            ui::WorkspaceView& view = *shown;
            view.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&view));
            f.workbench->setShowHistory(true);
            test::settle();
            auto* rows = view.findChild<QAbstractItemView*>("jobRows");
            QVERIFY(rows);
            if (byKeyboard) {
                rows->setFocus(Qt::TabFocusReason);
                rows->setCurrentIndex(rows->model()->index(0, 0));
                QTest::keyClick(rows, Qt::Key_Return);
            } else {
                rows->setFocus(Qt::MouseFocusReason); // as the press gives it
                const QRect row = rows->visualRect(rows->model()->index(0, 0));
                QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, row.center());
            }
            test::settle();
            QVERIFY(!f.workbench->showHistory());
            QCOMPARE(f.workbench->stems().size(), 2u);
            QWidget* results = view.findChild<QWidget*>("resultsPanel");
            QWidget* focused = QApplication::focusWidget();
            QVERIFY2(results && results->isAncestorOf(focused),
                     qPrintable(QString(byKeyboard ? "by Enter: " : "by a click: ") +
                                (focused ? focused->objectName() : QString("nothing"))));
        }
    }
};

TONFIELD_VIEW_TEST_MAIN(PageScrollTest)

#include "page_scroll_test.moc"
